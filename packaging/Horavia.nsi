; The Horavia installer of one build: x86 (Windows 2000 SP4 and later) or x64 (64-bit Windows).
; Built by packaging/CMakeLists.txt:
;   makensis -DVERSION=1.4.0.3 -DARCH=x86|x64 -DPROGRAM=<Horavia.exe> -DREADME=<README.md>
;            -DSIMULATOR=<simulator Tempiva.dll> -DICON=<program icon> -DOUTFILE=<setup.exe>
;            Horavia.nsi
; A 64-bit installer is a 64-bit process: it sees the 64-bit registry and system folder, a 32-bit
; one the 32-bit ones, each what its Horavia.exe sees.

!if ${ARCH} == x64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include MUI2.nsh
!include WinVer.nsh
!include x64.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Horavia"
!define TASK Horavia
!define FORM_CLASS HoraviaForm
!define PAGE_CONTROL_ID 100  ; only the main window holds the page control
!define ENDSESSION_CLOSEAPP 1
!ifndef SYNCHRONIZE
  !define SYNCHRONIZE 0x100000
!endif
!define END_WAIT_MS 10000

Name "Horavia"
Caption "Horavia ${VERSION} (${ARCH}) Setup"
OutFile "${OUTFILE}"
!if ${ARCH} == x64
  InstallDir "$PROGRAMFILES64\Horavia"
!else
  InstallDir "$PROGRAMFILES\Horavia"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" InstallLocation
ShowInstDetails show
BrandingText "Horavia ${VERSION}"
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey ProductName "Horavia"
VIAddVersionKey CompanyName "Horavia developers"
VIAddVersionKey LegalCopyright "Copyright (C) 2026 Horavia developers"
VIAddVersionKey FileDescription "Horavia ${VERSION} (${ARCH}) Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"

Var LibraryNote   ; what the finish page says about the receiver's library
Var Fresh         ; 1 when no Horavia.exe was there before
Var TaskRun       ; 1 when "start now" goes through the logon task
Var ReplaceFailed ; 1 when a new file could not be put in place

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$LibraryNote"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Horavia now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartNow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; The choices; the work is done in one section after them.
Section "Horavia" SecProgram
  SectionIn RO
SectionEnd

Section "Start Horavia at logon" SecLogon
SectionEnd

Section /o "Receiver simulator (not for use with a receiver)" SecSimulator
SectionEnd

; Says why the (un)installation fails, in the details and in a box, and ends it with exit code 1.
!macro FAIL text
  DetailPrint "${text}"
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel 1
  Abort
!macroend

; Ends every Horavia reachable from here (the processes of this session: the window class and the
; single-instance mutex are per session) in order, as Windows does at log-off: its close query
; writes the settings, then it exits. Leaves "" on the stack, or why it could not. Uses $0, $1.
!macro END_HORAVIA un
Function ${un}EndHoravia
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  StrCpy $R3 ""
  FindWindow $R0 "${FORM_CLASS}"
  ${DoWhile} $R0 != 0
    GetDlgItem $R1 $R0 ${PAGE_CONTROL_ID}
    ${If} $R1 != 0
      System::Call "user32::GetWindowThreadProcessId(p R0, *i .R2)"
      DetailPrint "Ending the running Horavia (process $R2)"
      System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R2) p .R1"
      ; Waits for the answer however busy the machine is (no "hung" shortcut), up to the limit.
      System::Call "user32::SendMessageTimeout(p R0, i ${WM_QUERYENDSESSION}, p 0, p ${ENDSESSION_CLOSEAPP}, i 0, i ${END_WAIT_MS}, *p .r0) p .r1"
      ${If} $1 != 0
      ${AndIf} $0 != 0
        ; The settings are written; it exits inside this message.
        System::Call "user32::SendMessageTimeout(p R0, i ${WM_ENDSESSION}, p 1, p ${ENDSESSION_CLOSEAPP}, i 0, i ${END_WAIT_MS}, *p .r0)"
        System::Call "kernel32::WaitForSingleObject(p R1, i ${END_WAIT_MS}) i .r1"
      ${Else}
        ; No answer: a window that outlives its ended process for a moment, or a Horavia that
        ; refused to end or did not answer in time; the session goes on for the latter.
        System::Call "kernel32::WaitForSingleObject(p R1, i 0) i .r1"
        ${If} $1 != 0
          System::Call "user32::SendMessageTimeout(p R0, i ${WM_ENDSESSION}, p 0, p ${ENDSESSION_CLOSEAPP}, i 0, i ${END_WAIT_MS}, *p .r0)"
        ${EndIf}
      ${EndIf}
      System::Call "kernel32::CloseHandle(p R1)"
      ${If} $1 != 0
        StrCpy $R3 "Horavia (process $R2) did not end. End it with $\"Terminate Program$\" and run this again."
        ${Break}
      ${EndIf}
      StrCpy $R0 0  ; the list of windows changed: from the start
    ${EndIf}
    FindWindow $R0 "${FORM_CLASS}" "" 0 $R0
  ${Loop}
  ; A Horavia without its main window (still starting, or showing a message at start).
  ${If} $R3 == ""
    System::Call "kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w 'Tempiva') p .R1"
    ${If} $R1 != 0
      System::Call "kernel32::CloseHandle(p R1)"
      StrCpy $R3 "Horavia is running and could not be ended. End it and run this again."
    ${EndIf}
  ${EndIf}
  StrCpy $0 $R3
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
  Push $0
FunctionEnd
!macroend
!insertmacro END_HORAVIA ""
!insertmacro END_HORAVIA "un."

; Removes the logon task when there is one; leaves "" on the stack, or why it could not.
!macro DELETE_TASK un
Function ${un}DeleteTask
  nsExec::Exec '"$SYSDIR\schtasks.exe" /query /tn ${TASK}'
  Pop $0
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /delete /tn ${TASK} /f'
    Pop $0
    ${If} $0 != 0
      Push "The scheduled task $\"${TASK}$\" could not be removed (schtasks: $0)."
      Return
    ${EndIf}
    DetailPrint "Removed the scheduled task $\"${TASK}$\""
  ${EndIf}
  Push ""
FunctionEnd
!macroend
!insertmacro DELETE_TASK ""
!insertmacro DELETE_TASK "un."

; Windows 2000 and XP start the installer with the rights the user has: say at once when they are
; not enough, not halfway.
!macro NEED_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != Admin
    MessageBox MB_OK|MB_ICONSTOP "Installing and removing Horavia needs an administrator." /SD IDOK
    SetErrorLevel 1
    Abort
  ${EndIf}
!macroend

Function .onInit
!if ${ARCH} == x64
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit Horavia; this Windows is 32-bit. Take Horavia-${VERSION}-x86-setup.exe." /SD IDOK
    SetErrorLevel 1
    Abort
  ${EndIf}
!endif
  !insertmacro NEED_ADMIN
FunctionEnd

Function un.onInit
  !insertmacro NEED_ADMIN
FunctionEnd

; "Horavia.exe" -> "Horavia.exe.new" and so on: the new files are written beside the old ones
; first, and replace them only when all of them are there.
!macro STAGE source name
  File "/oname=${name}.new" "${source}"
!macroend

; Puts a staged file in place, keeping the old one as .old until the installation is complete.
Function Replace
  Exch $0
  Delete "$INSTDIR\$0.old"
  ClearErrors
  ${If} ${FileExists} "$INSTDIR\$0"
    Rename "$INSTDIR\$0" "$INSTDIR\$0.old"
  ${EndIf}
  Rename "$INSTDIR\$0.new" "$INSTDIR\$0"
  ${If} ${Errors}
    StrCpy $ReplaceFailed 1
  ${EndIf}
  Pop $0
FunctionEnd

; Puts the old file back.
Function Restore
  Exch $0
  ${If} ${FileExists} "$INSTDIR\$0.old"
    Delete "$INSTDIR\$0"
    Rename "$INSTDIR\$0.old" "$INSTDIR\$0"
  ${ElseIf} $Fresh == 1
    Delete "$INSTDIR\$0"
  ${EndIf}
  Delete "$INSTDIR\$0.new"
  Pop $0
FunctionEnd

!macro FOR_EACH_FILE function
  Push Horavia.exe
  Call ${function}
  Push README.md
  Call ${function}
  Push Uninstall.exe
  Call ${function}
  ${If} ${SectionIsSelected} ${SecSimulator}
    Push simulator\Tempiva.dll
    Call ${function}
  ${EndIf}
!macroend

; Back to the state before: the old files, or none.
Function RollBack
  SetOutPath "$TEMP"  ; a folder in use as the current one cannot be removed
  !insertmacro FOR_EACH_FILE Restore
  RMDir "$INSTDIR\simulator"
  RMDir "$INSTDIR"
FunctionEnd

!macro FAIL_AND_ROLL_BACK text
  Call RollBack
  !insertmacro FAIL "${text}"
!macroend

!macro XML_LINE text
  FileWriteUTF16LE $0 `${text}$\r$\n`
!macroend

; Text for the task definition's XML.
!macro XML_ESCAPE var
  ${WordReplace} "${var}" "&" "&amp;" "+" ${var}
  ${WordReplace} "${var}" "<" "&lt;" "+" ${var}
  ${WordReplace} "${var}" ">" "&gt;" "+" ${var}
!macroend

; The task that starts Horavia at this user's logon with the highest privileges the user has: an
; administrator's Horavia then holds the right to set the clock, without a prompt. Every setting
; is written out. Leaves "" on the stack, or why it could not be registered.
Function RegisterTask
  System::Call "secur32::GetUserNameExW(i 2, w .r1, *i ${NSIS_MAX_STRLEN}) i .r0"
  ${If} $0 == 0
    ReadEnvStr $1 USERDOMAIN
    ReadEnvStr $2 USERNAME
    StrCpy $1 "$1\$2"
  ${EndIf}
  StrCpy $2 "$INSTDIR"
  !insertmacro XML_ESCAPE $1
  !insertmacro XML_ESCAPE $2
  InitPluginsDir
  StrCpy $3 "$PLUGINSDIR\HoraviaTask.xml"
  ClearErrors
  FileOpen $0 "$3" w
  ; schtasks reads UTF-16 LE with a byte order mark. Normal priority (a task's default, 7, is
  ; below normal), no time limit, on battery power too, and never ended hard (which would lose
  ; the settings).
  FileWriteWord $0 0xFEFF
  !insertmacro XML_LINE '<?xml version="1.0" encoding="UTF-16"?>'
  !insertmacro XML_LINE '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
  !insertmacro XML_LINE '  <RegistrationInfo>'
  !insertmacro XML_LINE '    <Description>Starts Horavia at logon, so that it can set the system clock.</Description>'
  !insertmacro XML_LINE '  </RegistrationInfo>'
  !insertmacro XML_LINE '  <Triggers>'
  !insertmacro XML_LINE '    <LogonTrigger>'
  !insertmacro XML_LINE '      <Enabled>true</Enabled>'
  !insertmacro XML_LINE '      <UserId>$1</UserId>'
  !insertmacro XML_LINE '    </LogonTrigger>'
  !insertmacro XML_LINE '  </Triggers>'
  !insertmacro XML_LINE '  <Principals>'
  !insertmacro XML_LINE '    <Principal id="Author">'
  !insertmacro XML_LINE '      <UserId>$1</UserId>'
  !insertmacro XML_LINE '      <LogonType>InteractiveToken</LogonType>'
  !insertmacro XML_LINE '      <RunLevel>HighestAvailable</RunLevel>'
  !insertmacro XML_LINE '    </Principal>'
  !insertmacro XML_LINE '  </Principals>'
  !insertmacro XML_LINE '  <Settings>'
  !insertmacro XML_LINE '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
  !insertmacro XML_LINE '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
  !insertmacro XML_LINE '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
  !insertmacro XML_LINE '    <AllowHardTerminate>false</AllowHardTerminate>'
  !insertmacro XML_LINE '    <StartWhenAvailable>false</StartWhenAvailable>'
  !insertmacro XML_LINE '    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>'
  !insertmacro XML_LINE '    <IdleSettings>'
  !insertmacro XML_LINE '      <StopOnIdleEnd>false</StopOnIdleEnd>'
  !insertmacro XML_LINE '      <RestartOnIdle>false</RestartOnIdle>'
  !insertmacro XML_LINE '    </IdleSettings>'
  !insertmacro XML_LINE '    <AllowStartOnDemand>true</AllowStartOnDemand>'
  !insertmacro XML_LINE '    <Enabled>true</Enabled>'
  !insertmacro XML_LINE '    <Hidden>false</Hidden>'
  !insertmacro XML_LINE '    <RunOnlyIfIdle>false</RunOnlyIfIdle>'
  !insertmacro XML_LINE '    <WakeToRun>false</WakeToRun>'
  !insertmacro XML_LINE '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>'
  !insertmacro XML_LINE '    <Priority>5</Priority>'
  !insertmacro XML_LINE '  </Settings>'
  !insertmacro XML_LINE '  <Actions Context="Author">'
  !insertmacro XML_LINE '    <Exec>'
  !insertmacro XML_LINE '      <Command>"$2\Horavia.exe"</Command>'
  !insertmacro XML_LINE '      <WorkingDirectory>$2</WorkingDirectory>'
  !insertmacro XML_LINE '    </Exec>'
  !insertmacro XML_LINE '  </Actions>'
  !insertmacro XML_LINE '</Task>'
  FileClose $0
  ${If} ${Errors}
    Push "The task definition could not be written to $3."
    Return
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /create /tn ${TASK} /xml "$3" /f'
  Pop $0
  ${If} $0 != 0
    Push "The scheduled task $\"${TASK}$\" that starts Horavia at logon could not be registered (schtasks: $0). The installation was undone; to install without it, untick $\"Start Horavia at logon$\"."
    Return
  ${EndIf}
  DetailPrint "Registered the scheduled task $\"${TASK}$\": Horavia starts at your logon"
  Push ""
FunctionEnd

; The receiver maker's Tempiva.dll where Horavia looks for it: its own folder, the system folders,
; the folders on PATH. A Horavia started at logon with full rights does not look on PATH: a
; library found only there is copied beside Horavia.exe.
Function CheckLibrary
  StrCpy $3 ""
  StrCpy $2 "$INSTDIR;$SYSDIR;$WINDIR\System;$WINDIR"
  System::Call "kernel32::SearchPathW(w r2, w 'Tempiva.dll', p 0, i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1"
  ${If} $1 == 0
    ReadEnvStr $2 PATH
    System::Call "kernel32::SearchPathW(w r2, w 'Tempiva.dll', p 0, i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1"
    StrCpy $3 path
  ${EndIf}
  ${If} $1 == 0
    StrCpy $LibraryNote "No receiver library Tempiva.dll was found. Put the one from the receiver's maker (${ARCH}) into $INSTDIR, or install the maker's software and then run this setup again."
  ${Else}
    Push $0
    Call LibraryArch
    Pop $1
    ${If} $1 != ${ARCH}
      StrCpy $LibraryNote "The receiver library $0 is not a ${ARCH} library: this Horavia cannot use it. Put the maker's ${ARCH} Tempiva.dll into $INSTDIR."
    ${ElseIf} $3 == path
    ${AndIfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "The receiver library was found on PATH only: $0.$\r$\nA Horavia started at logon does not look there. Copy it to $INSTDIR?" /SD IDYES IDYES`
      StrCpy $LibraryNote "The receiver library $0 is on PATH only, where Horavia started at logon does not look: copy it to $INSTDIR."
    ${ElseIf} $3 == path
      ClearErrors
      CopyFiles /SILENT "$0" "$INSTDIR\Tempiva.dll"
      ${If} ${Errors}
        StrCpy $LibraryNote "The receiver library $0 could not be copied to $INSTDIR: copy it there yourself."
      ${Else}
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" CopiedLibrary 1
        StrCpy $LibraryNote "The receiver library $0 was copied to $INSTDIR, where Horavia started at logon finds it."
      ${EndIf}
    ${Else}
      StrCpy $LibraryNote "Horavia finds the receiver library $0."
    ${EndIf}
  ${EndIf}
  DetailPrint "$LibraryNote"
FunctionEnd

; x86, x64 or "other" for a library file, from the machine field of its PE header.
Function LibraryArch
  Exch $0
  Push $1
  Push $2
  StrCpy $2 other
  ClearErrors
  FileOpen $1 "$0" r
  ${IfNot} ${Errors}
    FileSeek $1 0x3C
    FileReadWord $1 $0
    IntOp $0 $0 + 4
    FileSeek $1 $0
    FileReadWord $1 $0
    FileClose $1
    ${If} $0 = 0x14C
      StrCpy $2 x86
    ${ElseIf} $0 = 0x8664
      StrCpy $2 x64
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; The work, once the choices are known: end a running Horavia, write the new files beside the old
; ones, put them in place, register the start at logon (undoing the files if that fails), then
; the entry in the list of programs and the shortcuts.
Section "-Install"
  Call EndHoravia
  Pop $0
  ${If} $0 != ""
    !insertmacro FAIL "$0"
  ${EndIf}

  StrCpy $Fresh 1
  ${If} ${FileExists} "$INSTDIR\Horavia.exe"
    StrCpy $Fresh 0
  ${EndIf}
  ClearErrors
  CreateDirectory "$INSTDIR\simulator"
  FileOpen $0 "$INSTDIR\Horavia.exe.new" w
  FileClose $0
  ${If} ${Errors}
    !insertmacro FAIL_AND_ROLL_BACK "The folder $INSTDIR cannot be written."
  ${EndIf}
  SetOutPath "$INSTDIR"
  !insertmacro STAGE "${PROGRAM}" Horavia.exe
  !insertmacro STAGE "${README}" README.md
  WriteUninstaller "$INSTDIR\Uninstall.exe.new"
  ${If} ${SectionIsSelected} ${SecSimulator}
    SetOutPath "$INSTDIR\simulator"
    !insertmacro STAGE "${SIMULATOR}" Tempiva.dll
    SetOutPath "$INSTDIR"
  ${EndIf}
  ${If} ${Errors}
    !insertmacro FAIL_AND_ROLL_BACK "The files could not be written to $INSTDIR."
  ${EndIf}
  ; Elsewhere from here, so that no program started below (schtasks) keeps the folder in use.
  SetOutPath "$TEMP"
  StrCpy $ReplaceFailed 0
  !insertmacro FOR_EACH_FILE Replace
  ${If} $ReplaceFailed == 1
    !insertmacro FAIL_AND_ROLL_BACK "The files in $INSTDIR could not be replaced."
  ${EndIf}
  ; Start at logon: the task from Vista on, else a shortcut in this user's Startup folder (there
  ; an administrator's programs hold the right to set the clock).
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" LogonStart
  StrCpy $2 ""
  StrCpy $TaskRun 0
  ${If} ${SectionIsSelected} ${SecLogon}
    ${If} ${AtLeastWinVista}
      Call RegisterTask
      Pop $0
      ${If} $0 != ""
        !insertmacro FAIL_AND_ROLL_BACK "$0"
      ${EndIf}
      StrCpy $2 task
      StrCpy $TaskRun 1
    ${Else}
      SetShellVarContext current
      SetOutPath "$INSTDIR"  ; the shortcut's working folder
      ClearErrors
      CreateShortCut "$SMSTARTUP\Horavia.lnk" "$INSTDIR\Horavia.exe"
      ${If} ${Errors}
        !insertmacro FAIL_AND_ROLL_BACK "The shortcut $SMSTARTUP\Horavia.lnk could not be made."
      ${EndIf}
      StrCpy $2 "$SMSTARTUP\Horavia.lnk"
      DetailPrint "Horavia starts at your logon: $2"
    ${EndIf}
  ${EndIf}
  ; An earlier start at logon that was not chosen again.
  ${If} $1 == task
  ${AndIf} $2 != task
    Call DeleteTask
    Pop $0
    ${If} $0 != ""
      !insertmacro FAIL "$0"
    ${EndIf}
  ${ElseIf} $1 != ""
  ${AndIf} $1 != $2
    Delete "$1"
  ${EndIf}

  ; From here on the new version is in place.
  Delete /REBOOTOK "$INSTDIR\Horavia.exe.old"
  Delete "$INSTDIR\README.md.old"
  Delete "$INSTDIR\Uninstall.exe.old"
  Delete "$INSTDIR\simulator\Tempiva.dll.old"
  ${IfNot} ${SectionIsSelected} ${SecSimulator}
    Delete "$INSTDIR\simulator\Tempiva.dll"
  ${EndIf}
  RMDir "$INSTDIR\simulator"

  SetShellVarContext all
  SetOutPath "$INSTDIR"
  ClearErrors
  CreateShortCut "$SMPROGRAMS\Horavia.lnk" "$INSTDIR\Horavia.exe"
  ${If} ${Errors}
    DetailPrint "The Start menu shortcut $SMPROGRAMS\Horavia.lnk could not be made."
    SetErrorLevel 1
  ${EndIf}

  ${GetSize} "$INSTDIR" "/S=0K" $0 $3 $4
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "Horavia"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "Horavia developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" URLInfoAbout "https://horavia.example.com/"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Horavia.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  ; How Horavia starts at logon, for the uninstaller: "task", the Startup shortcut, or "".
  WriteRegStr HKLM "${UNINSTALL_KEY}" LogonStart "$2"
  ${If} ${Errors}
    DetailPrint "The entry in the list of installed programs could not be written."
    SetErrorLevel 1
  ${EndIf}

  Call CheckLibrary
SectionEnd

Function StartNow
  ${If} $TaskRun == 1
    nsExec::Exec '"$SYSDIR\schtasks.exe" /run /tn ${TASK}'
    Pop $0
  ${Else}
    Exec '"$INSTDIR\Horavia.exe"'
  ${EndIf}
FunctionEnd

; Ends Horavia, removes its start at logon, its shortcut, its files and its entry. The settings
; (Kronalt.ini in each user's application-data folder) stay.
Section "Uninstall"
  Call un.EndHoravia
  Pop $0
  ${If} $0 != ""
    !insertmacro FAIL "$0"
  ${EndIf}
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" LogonStart
  ${If} $1 == task
    Call un.DeleteTask
    Pop $0
    ${If} $0 != ""
      !insertmacro FAIL "$0"
    ${EndIf}
  ${ElseIf} $1 != ""
    Delete "$1"
  ${EndIf}
  SetShellVarContext all
  Delete "$SMPROGRAMS\Horavia.lnk"

  Delete /REBOOTOK "$INSTDIR\Horavia.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\simulator\Tempiva.dll"
  RMDir "$INSTDIR\simulator"
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" CopiedLibrary
  ${If} $1 == 1
    Delete "$INSTDIR\Tempiva.dll"
  ${EndIf}
  Delete "$INSTDIR\Uninstall.exe"
  SetOutPath "$TEMP"
  ; A Horavia.exe still running in another session goes at the next restart, and the folder with it.
  ClearErrors
  RMDir /REBOOTOK "$INSTDIR"
  ${If} ${Errors}
    DetailPrint "$INSTDIR holds files that are not Horavia's and stays."
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
