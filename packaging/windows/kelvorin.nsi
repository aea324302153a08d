; The Windows installer: Kelvorin.exe for the current user only, with no administrator, in the
; user's own programs folder, a Start menu shortcut and an entry in the list of installed apps.
; Built by scripts/package.sh:
;   makensis -DDEFINES=version.nsh -DSTAGE=<install tree> -DICON=kelvorin.ico
;            -DOUTFILE=<setup.exe> kelvorin.nsi
; where version.nsh (made by the build) defines VERSION, DISPLAY_VERSION, PUBLISHER, COPYRIGHT.

Unicode true
; The 64-bit stub: the program is 64-bit, and a 32-bit installer would need WOW64.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "${DEFINES}"
!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvorin"

Name "Kelvorin"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Kelvorin"
ManifestDPIAware true
BrandingText "Kelvorin ${DISPLAY_VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "Setup will install Kelvorin for you alone, in your own programs \
folder: no administrator is needed.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kelvorin.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Kelvorin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${DISPLAY_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${DISPLAY_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Kelvorin Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

Section
  SetOutPath "$INSTDIR"
  File "${STAGE}/bin/Kelvorin.exe"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Kelvorin.lnk" "$INSTDIR\Kelvorin.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Kelvorin"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${DISPLAY_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kelvorin.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as the list of installed apps shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Kelvorin.lnk"
  Delete "$INSTDIR\Kelvorin.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only if empty: whatever the user put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
