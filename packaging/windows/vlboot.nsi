; The Windows installer of vlboot, made by scripts/windows.sh from the staged
; package folder: makensis -DVERSION=... -DSTAGE=... -DOUTFILE=... vlboot.nsi
; Installs into Program Files (setup.ini, Log.txt and runs.csv then live in
; %LOCALAPPDATA%\vlboot, as that folder cannot be written), a Start-menu
; entry, *.ldr opening the window, and the uninstaller.

Unicode true
Target amd64-unicode ; (a 64-bit installer: it runs where the 64-bit programs run)
!include x64.nsh

Name "Velmora Bootloader ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\vlboot"
InstallDirRegKey HKLM "Software\vlboot" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\vlboot"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "vlboot"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Velmora Bootloader"
  CreateShortcut "$SMPROGRAMS\Velmora Bootloader\Velmora Bootloader.lnk" "$INSTDIR\vlboot.exe"
  CreateShortcut "$SMPROGRAMS\Velmora Bootloader\Uninstall.lnk" "$INSTDIR\uninstall.exe"

  ; A firmware file (*.ldr) opens the window with that file.
  WriteRegStr HKLM "Software\Classes\.ldr" "" "vlboot.ldr"
  WriteRegStr HKLM "Software\Classes\vlboot.ldr" "" "Velmora firmware file"
  WriteRegStr HKLM "Software\Classes\vlboot.ldr\DefaultIcon" "" "$INSTDIR\vlboot.exe,0"
  WriteRegStr HKLM "Software\Classes\vlboot.ldr\shell\open\command" "" '"$INSTDIR\vlboot.exe" "%1"'

  WriteRegStr HKLM "Software\vlboot" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velmora Bootloader (vlboot)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velmora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's settings and records (%LOCALAPPDATA%\vlboot) are kept.
Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\Velmora Bootloader\Velmora Bootloader.lnk"
  Delete "$SMPROGRAMS\Velmora Bootloader\Uninstall.lnk"
  RMDir "$SMPROGRAMS\Velmora Bootloader"
  ReadRegStr $0 HKLM "Software\Classes\.ldr" ""
  StrCmp $0 "vlboot.ldr" 0 +2
    DeleteRegKey HKLM "Software\Classes\.ldr"
  DeleteRegKey HKLM "Software\Classes\vlboot.ldr"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\vlboot"
  RMDir /r "$INSTDIR"
SectionEnd
