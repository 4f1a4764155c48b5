; The Windows installer of Mintora: Mintora.exe and the README in Program Files, a Start-menu
; shortcut for all users, an uninstaller and its entry in Apps & features. The uninstaller takes
; all of that away again and leaves the user's settings (HKCU\Software\Tessaline) alone.
;
; makensis -DVERSION=1.0.0 -DMINTORA_EXE=... -DREADME=... [-DICON=...] -DOUTFILE=... Mintora.nsi
; (cmake/WindowsInstaller.cmake passes them; ./scripts/package --windows builds it.)

!macro RequireDefine NAME
  !ifndef ${NAME}
    !error "makensis needs -D${NAME}=..."
  !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine MINTORA_EXE
!insertmacro RequireDefine README
!insertmacro RequireDefine OUTFILE

Unicode true
; A 64-bit installer: the 32-bit stub does not start where Windows has no 32-bit subsystem.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mintora"

Name "Mintora"
Caption "Mintora ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Mintora"
; A second install goes where the first one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tessaline"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Mintora"
VIAddVersionKey /LANG=1033 "CompanyName" "Tessaline"
VIAddVersionKey /LANG=1033 "FileDescription" "Mintora ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Tessaline"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_FINISHPAGE_RUN "$INSTDIR\Mintora.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Mintora"
  SetOutPath "$INSTDIR"
  File "/oname=Mintora.exe" "${MINTORA_EXE}"
  File "/oname=README.md" "${README}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The shortcut shows the program's own icon.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\Mintora.lnk" "$INSTDIR\Mintora.exe" "" "$INSTDIR\Mintora.exe" 0 \
    SW_SHOWNORMAL "" "Vending machine emulator"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Mintora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tessaline"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Mintora.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there: a folder the user filled stays, and so do the settings.
Section "Uninstall"
  Delete "$SMPROGRAMS\Mintora.lnk"
  Delete "$INSTDIR\Mintora.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
