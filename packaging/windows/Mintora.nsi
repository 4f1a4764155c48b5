; The Windows installer of Mintora: Mintora.exe and the README in Program Files, a Start-menu
; shortcut for all users, an uninstaller and its entry in Apps & features. The uninstaller takes
; all of that away again and leaves the user's settings (HKCU\Software\Tessaline) alone.
;
; makensis -DVERSION=1.0.0 -DMINTORA_EXE=... -DREADME=... [-DICON=...] [-DWIZARD_BMP=...]
;          -DOUTFILE=... Mintora.nsi
; ICON is the program's icon (.ico), WIZARD_BMP the welcome and finish pages' picture (164 x 314
; pixels), both drawn by the Linux build's render-icons.
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
!include "LogicLib.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!ifdef WIZARD_BMP
  !define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD_BMP}"
!endif
!define MUI_WELCOMEPAGE_TITLE "Welcome to Mintora ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "This installs Mintora ${VERSION} by Tessaline, the vending machine \
emulator that drives an MDB coin changer through an LX-5200-E interface device.$\r$\n$\r$\n\
Mintora and its README go to the folder you choose next, with a shortcut in the Start menu.$\r$\n\
$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_TITLE "Mintora ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "Mintora ${VERSION} by Tessaline is in $INSTDIR; the Start menu \
starts it.$\r$\n$\r$\nAt its first start it connects to the device at 192.168.1.1: another \
address is set in Settings > Connection (the README tells more)."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Mintora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Mintora"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
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

; The uninstaller runs from a copy of itself, $TEMP\~nsuN.tmp\Un.exe, which Windows lets nobody
; delete while it runs. NSIS leaves the copy to the next restart, and lists the folder before the
; file there, so that an empty folder stays for good. Once this copy has ended, a hidden command
; removes its folder (it tries for a while, as the copy may take a moment to end); a restart
; removes it otherwise, the file first.
Function un.onUninstSuccess
  ${GetFileName} "$EXEDIR" $0
  StrCpy $0 $0 4
  ${GetParent} "$EXEDIR" $1
  ${If} $0 == "~nsu"
  ${AndIf} $1 == $TEMP
    SetOutPath "$TEMP"
    ExecShell "open" "$SYSDIR\cmd.exe" \
      '/d /q /c for /l %i in (1,1,300) do if exist "$EXEDIR" rmdir /s /q "$EXEDIR"' SW_HIDE
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK "$EXEDIR"
    SetRebootFlag false
  ${EndIf}
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
