// Input for a KWin without devices, through its fake-input protocol: one command a line from
// stdin, each answered "ok" once KWin has taken it.
//   key CODE 1|0     a key (a Linux input code) down or up
//   move X Y         the pointer to X, Y of the screen
//   button CODE 1|0  a pointer button (BTN_LEFT: 272) down or up
#include "fake-input-client-protocol.h"

#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input* fake;

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
    }
}

static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

int main(void) {
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        fputs("kwin_fake_input: no Wayland display\n", stderr);
        return 1;
    }
    static const struct wl_registry_listener listener = {Global, GlobalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (fake == NULL) {
        fputs("kwin_fake_input: the compositor offers no fake input (version 4)\n", stderr);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "Kelvorin's end-to-end test", "drives the program");
    char line[128];
    unsigned code, state;
    double x, y;
    while (fgets(line, sizeof line, stdin) != NULL) {
        if (sscanf(line, "key %u %u", &code, &state) == 2) {
            org_kde_kwin_fake_input_keyboard_key(fake, code, state);
        } else if (sscanf(line, "move %lf %lf", &x, &y) == 2) {
            org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_double(x),
                                                            wl_fixed_from_double(y));
        } else if (sscanf(line, "button %u %u", &code, &state) == 2) {
            org_kde_kwin_fake_input_button(fake, code, state);
        } else {
            fprintf(stderr, "kwin_fake_input: what is '%s'?\n", line);
            return 2;
        }
        if (wl_display_roundtrip(display) < 0) {
            fputs("kwin_fake_input: the connection went\n", stderr);
            return 1;
        }
        puts("ok");
        fflush(stdout);
    }
    wl_display_disconnect(display);
    return 0;
}
