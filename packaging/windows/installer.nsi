; The Windows installer: both programs in Program Files, the editor in the
; Start menu and in "Open with" for MIDI files, and an uninstaller that takes
; all of it away again. tools/windows.sh builds it with
;   makensis -DVERSION=1.5 -DSTAGE=<folder with the files> -DICON=<.ico> -DOUTFILE=<setup.exe> installer.nsi

!ifndef VERSION | STAGE | ICON | OUTFILE
  !error "makensis needs -DVERSION, -DSTAGE, -DICON and -DOUTFILE"
!endif

Unicode true
; The programs are 64-bit only, and so is the installer: wine64 runs it alone.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define APP VARNO414Editor
!define PUBLISHER "The VARNO414Editor developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define APPLICATION_KEY "Software\Classes\Applications\${APP}.exe"
!define OPEN_WITH_KEY "Software\Classes\.mid\OpenWithList"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
; An update goes where the last version went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" InstallLocation
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 ProductName "${APP}"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=0 LegalCopyright "${PUBLISHER}, MIT License"
VIAddVersionKey /LANG=0 FileDescription "${APP} ${VERSION} Setup"

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include x64.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP}.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${APP} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ; The shortcut is for everyone who uses this computer, as the programs are.
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "${APP}"
  SetOutPath "$INSTDIR"
  File "${STAGE}\varno414.exe"
  File "${STAGE}\README.md"
  File "${STAGE}\LICENSE"
  File "${STAGE}\NOTICES-windows.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  File "${STAGE}\${APP}.exe"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe" "" "$INSTDIR\${APP}.exe" 0 \
    SW_SHOWNORMAL "" "Editor for the sample memory of the VARNO 414 drum machine"

  ; "Open with" for MIDI files; the default program for them stays what it was.
  WriteRegStr HKLM "${APPLICATION_KEY}" FriendlyAppName "${APP}"
  WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" .mid ""
  WriteRegStr HKLM "${APPLICATION_KEY}\DefaultIcon" "" '"$INSTDIR\${APP}.exe",0'
  WriteRegStr HKLM "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\${APP}.exe" "%1"'
  WriteRegStr HKLM "${OPEN_WITH_KEY}\${APP}.exe" "" ""
  !define DISPLAY_ICON "$INSTDIR\${APP}.exe,0"

  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "${DISPLAY_ICON}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: whatever else the folder holds stays,
  ; and so does the folder then.
  Delete "$INSTDIR\${APP}.exe"
  Delete "$INSTDIR\varno414.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\NOTICES-windows.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}.lnk"

  DeleteRegKey HKLM "${APPLICATION_KEY}"
  DeleteRegKey HKLM "${OPEN_WITH_KEY}\${APP}.exe"
  ; The extension's keys go only if nothing else is left in them.
  DeleteRegKey /ifempty HKLM "${OPEN_WITH_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Classes\.mid"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
