; The Windows installer of QelpUpd: both programs, a Start-menu entry and an uninstaller, for the
; current user (no administrator needed) or for all users. scripts/lib/windows_package.sh builds
; one for each architecture:
;   makensis -DVERSION=1.0.0.1 -DARCH=win64|win32 -DSTAGE=<folder with the files> -DICON=<.ico>
;            -DOUTFILE=<setup.exe> [-DSTUB=amd64-unicode] qelpupd.nsi
; Silent: setup.exe /S [/CurrentUser | /AllUsers] [/D=<folder>]; uninstall.exe /S likewise.
;
; Each installer runs as the programs it carries: the 64-bit one needs no 32-bit subsystem, and
; 32-bit Windows refuses it with its own message on the wrong architecture. The 32-bit one refuses
; 64-bit Windows itself, naming the 64-bit package. STUB makes an installer of another
; architecture than its programs' (only for checking the 32-bit one's refusal where only 64-bit
; programs run).
!if "${ARCH}" == "win64"
  !define /ifndef STUB amd64-unicode
!else if "${ARCH}" == "win32"
  !define /ifndef STUB x86-unicode
!else
  !error "ARCH must be win64 or win32"
!endif
Target ${STUB}
ManifestDPIAware true
SetCompressor /SOLID lzma

!define PRODUCT "QelpUpd"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!if "${ARCH}" == "win64"
  !define MULTIUSER_USE_PROGRAMFILES64
!endif
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString WrongWindows ${LANG_JAPANESE} "このパッケージは 32 ビット版の Windows 用です。この Windows は 64 ビット版です。$\r$\nQelpUpd-${VERSION}-win64-setup.exe でインストールしてください。"
LangString WrongWindows ${LANG_ENGLISH} "This package is for 32-bit Windows, and this Windows is 64-bit.$\r$\nInstall QelpUpd-${VERSION}-win64-setup.exe instead."

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"

Function .onInit
  !if "${ARCH}" == "win32"
    ${If} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "$(WrongWindows)" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  !endif
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "QelpUpd"
  SetOutPath "$INSTDIR"
  File "${STAGE}/qelpupd.exe"
  File "${STAGE}/qelpupd-cli.exe"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The window program looks for the data file in the folder it starts in. A shortcut for all
  ; users cannot name each one's Documents\QelpUpd: the option makes the program go there, and
  ; make it at its first start. The installing user's is made now, ready for the data file.
  SetShellVarContext current
  CreateDirectory "$DOCUMENTS\${PRODUCT}"
  ${If} $MultiUser.InstallMode == "AllUsers"
    SetShellVarContext all
  ${EndIf}
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\qelpupd.exe" "--documents" \
    "$INSTDIR\qelpupd.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qelpupd.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "QELP"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S /$MultiUser.InstallMode'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The data files and the update records are the user's: they stay.
Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\qelpupd.exe"
  Delete "$INSTDIR\qelpupd-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
