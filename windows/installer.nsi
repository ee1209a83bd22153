; SPDX-License-Identifier: GPL-3.0-or-later
; The touchdrill installer: Program Files, a Start-menu entry, an uninstaller. The copy it installs
; is always in installed mode (the installed-mode file beside it): the user's best times, INI file
; and history live in %APPDATA%\touchdrill\, and the uninstaller leaves them there.
; makensis -DVERSION=<version> -DSTAGE=<the zip's folder> -DOUTFILE=<installer> installer.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"

!define APP "touchdrill"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\touchdrill"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${APP}"
VIAddVersionKey /LANG=0 "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\touchdrill.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licenses\touchdrill-GPL-3.0.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

Section "touchdrill"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\touchdrill.exe"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\licenses"
  File "${STAGE}\licenses\*.txt"
  SetOutPath "$INSTDIR"
  ; Keeps the user's files out of Program Files even for an administrator.
  FileOpen $0 "$INSTDIR\installed-mode" w
  FileClose $0
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\touchdrill.lnk" "$INSTDIR\touchdrill.exe" "" "$INSTDIR\touchdrill.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "touchdrill"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "touchdrill"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\touchdrill.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\touchdrill.lnk"
  Delete "$INSTDIR\touchdrill.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\installed-mode"
  Delete "$INSTDIR\licenses\*.txt"
  RMDir "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The user's best times, INI file and history stay in %APPDATA%\touchdrill\.
SectionEnd
