; The Horavia installer of one build: x86 (Windows 2000 SP4 and later) or x64 (64-bit Windows).
; Built by packaging/CMakeLists.txt:
;   makensis -DVERSION=1.4.0.3 -DARCH=x86|x64 -DPROGRAM=<Horavia.exe> -DREADME=<README.md>
;            -DSIMULATOR=<simulator Tempiva.dll> -DICON=<program icon> -DOUTFILE=<setup.exe>
;            Horavia.nsi
; A 64-bit installer is a 64-bit process: it sees the 64-bit registry and system folder, a 32-bit
; one the 32-bit ones, each what its Horavia.exe sees.
;
; Silent switches (each choice of the pages): /S, /NOLOGON or /LOGON, /SIMULATOR or /NOSIMULATOR,
; /LIBRARY=<Tempiva.dll or its folder>, /D=<folder> (last). An upgrade keeps the earlier choices
; unless a switch says otherwise. Exit codes: 0 done, 1 failed (nothing changed), 2 installed but
; the named library not taken, 3010 installed, files in use replaced at the next restart.

!if ${ARCH} == x64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include Sections.nsh
!include MUI2.nsh
!include nsDialogs.nsh
!include WinVer.nsh
!include x64.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Horavia"
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Horavia"
!define TASK Horavia
!define START_TASK "Horavia start"  ; run once, for the session's user only, then removed
!define START_WAIT_MS 10000
!define USERS_SID S-1-5-32-545
; The program folder outside Program Files: owned by the Administrators, who with SYSTEM have
; full control; the Users read and run; nothing inherited from a parent that users may write.
!define FOLDER_SDDL "O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
!define FORM_CLASS HoraviaForm
!define PAGE_CONTROL_ID 100  ; only the main window holds the page control
!define ENDSESSION_CLOSEAPP 1
!ifndef SYNCHRONIZE
  !define SYNCHRONIZE 0x100000
!endif
!define END_WAIT_MS 10000
!define EXIT_LIBRARY 2
!define EXIT_RESTART 3010

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

Var LibraryNote   ; what the finish page says about the receiver's library and a restart
Var Library       ; the library the administrator named (/LIBRARY= or the library page)
Var LibraryField  ; the library page's text field
Var Fresh         ; 1 when no Horavia.exe was there before
Var TaskRun       ; 1 when Horavia starts at logon through the task
Var ReplaceFailed ; 1 when a new file could not be put in place
Var Placed        ; |name|name|: files put where there was none, removed again on a roll-back
Var Stamp         ; this run's own suffix of the backups
Var Ended         ; how many running Horavias were ended
Var LogFile       ; the handle of the log, 0 when closed

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom LibraryPage LibraryPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$LibraryNote"
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Horavia now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartNow
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; The choices; the work is done in one section after them.
Section "Horavia" SecProgram
  SectionIn RO
SectionEnd

Section "Start Horavia at logon (every user)" SecLogon
SectionEnd

Section /o "Receiver simulator (not for use with a receiver)" SecSimulator
SectionEnd

; A line in the details and in the log (the only trace of a silent run).
!macro LOG text
  DetailPrint "${text}"
  ${If} $LogFile != 0
    FileWriteUTF16LE $LogFile "${text}$\r$\n"
  ${EndIf}
!macroend

; The log: $TEMP\Horavia-setup.log (Horavia-uninstall.log), kept in the program folder as Setup.log
; after an installation.
!macro OPEN_LOG name
  StrCpy $LogFile 0
  ClearErrors
  FileOpen $LogFile "$TEMP\${name}" w
  ${If} ${Errors}
    StrCpy $LogFile 0
  ${Else}
    FileWriteWord $LogFile 0xFEFF
    !insertmacro LOG "Horavia ${VERSION} (${ARCH}), $CMDLINE"
  ${EndIf}
!macroend

!macro CLOSE_LOG
  ${If} $LogFile != 0
    FileClose $LogFile
    StrCpy $LogFile 0
  ${EndIf}
!macroend

; Says why the (un)installation fails, in the details, the log and a box, and ends it with exit
; code 1.
!macro FAIL text
  !insertmacro LOG "${text}"
  !insertmacro CLOSE_LOG
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel 1
  Abort
!macroend

; Exit code 3010 when a file in use is replaced or removed at the next restart, unless a failure
; already set another.
!macro RESTART_EXIT_CODE
  ${If} ${RebootFlag}
    GetErrorLevel $0  ; -1 when none was set
    ${If} $0 <= 0
      SetErrorLevel ${EXIT_RESTART}
    ${EndIf}
  ${EndIf}
!macroend

; Ends every Horavia of this session (the window class and the single-instance mutex are per
; session) in order, as Windows does at log-off: its close query writes the settings, then it
; exits. Also one that runs under another account (started with another administrator's
; consent): the debug privilege opens its process to wait on, and without it the wait is for its
; window to go. Counts them in $Ended. Leaves "" on the stack, or why it could not. Uses $0, $1.
!macro END_HORAVIA un
Function ${un}EndHoravia
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R3 ""
  StrCpy $Ended 0
  Call ${un}EnableDebugPrivilege
  FindWindow $R0 "${FORM_CLASS}"
  ${DoWhile} $R0 != 0
    GetDlgItem $R1 $R0 ${PAGE_CONTROL_ID}
    ${If} $R1 != 0
      System::Call "user32::GetWindowThreadProcessId(p R0, *i .R2)"
      !insertmacro LOG "Ending the running Horavia (process $R2)"
      System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R2) p .R1"
      ; Waits for the answer however busy the machine is (no "hung" shortcut), up to the limit.
      System::Call "user32::SendMessageTimeout(p R0, i ${WM_QUERYENDSESSION}, p 0, p ${ENDSESSION_CLOSEAPP}, i 0, i ${END_WAIT_MS}, *p .r0) p .r1"
      ${If} $1 != 0
      ${AndIf} $0 != 0
        ; The settings are written; it exits inside this message.
        System::Call "user32::SendMessageTimeout(p R0, i ${WM_ENDSESSION}, p 1, p ${ENDSESSION_CLOSEAPP}, i 0, i ${END_WAIT_MS}, *p .r0)"
        StrCpy $R4 ${END_WAIT_MS}
        Call ${un}WaitForEnd
      ${Else}
        ; No answer: a window that outlives its ended process for a moment, or a Horavia that
        ; refused to end or did not answer in time; the session goes on for the latter.
        StrCpy $R4 0
        Call ${un}WaitForEnd
        ${If} $1 != 0
          System::Call "user32::SendMessageTimeout(p R0, i ${WM_ENDSESSION}, p 0, p ${ENDSESSION_CLOSEAPP}, i 0, i ${END_WAIT_MS}, *p .r0)"
        ${EndIf}
      ${EndIf}
      ${If} $R1 != 0
        System::Call "kernel32::CloseHandle(p R1)"
      ${EndIf}
      ${If} $1 != 0
        StrCpy $R3 "Horavia (process $R2) did not end. End it with $\"Terminate Program$\" and run this again."
        ${Break}
      ${EndIf}
      IntOp $Ended $Ended + 1
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
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
  Push $0
FunctionEnd

; Waits up to $R4 ms for the Horavia of window $R0 to end: on its process $R1 when it could be
; opened, else until the window is gone. $1 = 0 when it ended.
Function ${un}WaitForEnd
  ${If} $R1 != 0
    System::Call "kernel32::WaitForSingleObject(p R1, i R4) i .r1"
    Return
  ${EndIf}
  ${Do}
    System::Call "user32::IsWindow(p R0) i .r1"
    ${If} $1 == 0
      Return
    ${EndIf}
    ${If} $R4 <= 0
      StrCpy $1 1
      Return
    ${EndIf}
    Sleep 100
    IntOp $R4 $R4 - 100
  ${Loop}
FunctionEnd

; An administrator holds the debug privilege, which opens another account's process to wait on.
Function ${un}EnableDebugPrivilege
  System::Call "kernel32::GetCurrentProcess() p .r0"
  System::Call "advapi32::OpenProcessToken(p r0, i 0x28, *p .r1) i .r0"
  ${If} $0 != 0
    System::Call "advapi32::LookupPrivilegeValueW(p 0, w 'SeDebugPrivilege', *l .r0) i .r2"
    ${If} $2 != 0
      System::Call "*(i 1, l r0, i 2) p .r2"
      System::Call "advapi32::AdjustTokenPrivileges(p r1, i 0, p r2, i 0, p 0, p 0)"
      System::Free $2
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r1)"
  ${EndIf}
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
    !insertmacro LOG "Removed the scheduled task $\"${TASK}$\""
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

; A suffix no earlier run used: the time to the millisecond and the process.
!macro NEW_STAMP var
  System::Call "kernel32::GetTickCount() i .r0"
  System::Call "kernel32::GetCurrentProcessId() i .r1"
  ${GetTime} "" L $2 $3 $4 $5 $6 $7 $8
  StrCpy ${var} "$4$3$2$6$7$8-$1-$0"
!macroend

; /<name> on the command line (in $R0) selects or unselects a section.
!macro SWITCH name action section
  ClearErrors
  ${GetOptions} $R0 "/${name}" $0
  ${IfNot} ${Errors}
    !insertmacro ${action} ${section}
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
  StrCpy $LogFile 0
  ; An upgrade keeps the earlier choices (the folder through InstallDirRegKey).
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" DisplayName
  ${If} $0 != ""
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" LogonStart
    ${If} $0 == ""
      !insertmacro UnselectSection ${SecLogon}
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\simulator\Tempiva.dll"
      !insertmacro SelectSection ${SecSimulator}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $R0
  !insertmacro SWITCH NOLOGON UnselectSection ${SecLogon}
  !insertmacro SWITCH LOGON SelectSection ${SecLogon}
  !insertmacro SWITCH NOSIMULATOR UnselectSection ${SecSimulator}
  !insertmacro SWITCH SIMULATOR SelectSection ${SecSimulator}
  ClearErrors
  ${GetOptions} $R0 "/LIBRARY=" $Library
  ${If} ${Errors}
    StrCpy $Library ""
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro NEED_ADMIN
  StrCpy $LogFile 0
FunctionEnd

; The library page: an optional Tempiva.dll (or its folder) to copy beside Horavia.exe.
Function LibraryPage
  !insertmacro MUI_HEADER_TEXT "Receiver library" "The receiver maker's Tempiva.dll (${ARCH})"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "Horavia looks for the receiver's library Tempiva.dll in its own folder and in the Windows system folder only. Name the maker's Tempiva.dll here to copy it beside Horavia.exe, or leave the field empty."
  Pop $0
  ${NSD_CreateText} 0 52u 80% 12u "$Library"
  Pop $LibraryField
  ${NSD_CreateBrowseButton} 82% 51u 18% 14u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 LibraryBrowse
  nsDialogs::Show
FunctionEnd

Function LibraryBrowse
  ${NSD_GetText} $LibraryField $0
  nsDialogs::SelectFileDialog open "$0" "Tempiva.dll|Tempiva.dll|Libraries (*.dll)|*.dll"
  Pop $0
  ${If} $0 != ""
    ${NSD_SetText} $LibraryField $0
  ${EndIf}
FunctionEnd

Function LibraryPageLeave
  ${NSD_GetText} $LibraryField $Library
FunctionEnd

; "Horavia.exe" -> "Horavia.exe.new" and so on: the new files are written beside the old ones
; first, and replace them only when all of them are there.
!macro STAGE source name
  File "/oname=${name}.new" "${source}"
!macroend

; Puts a staged file in place, keeping the old one under this run's own backup name until the
; installation is complete. A file that cannot be renamed is held open by a Horavia this
; installer cannot end (in another session): it stays staged, to be put in place at the next
; restart (PlaceAtRestart).
Function Replace
  Exch $0
  ClearErrors
  ${If} ${FileExists} "$INSTDIR\$0"
    Rename "$INSTDIR\$0" "$INSTDIR\$0.$Stamp.old"
    ${If} ${Errors}
      Pop $0
      Return
    ${EndIf}
  ${Else}
    StrCpy $Placed "$Placed|$0|"
  ${EndIf}
  Rename "$INSTDIR\$0.new" "$INSTDIR\$0"
  ${If} ${Errors}
    StrCpy $ReplaceFailed 1
  ${EndIf}
  Pop $0
FunctionEnd

; Puts the old file back: only this run's backup, never an older one.
Function Restore
  Exch $0
  ${WordReplace} "$Placed" "|$0|" "" "+" $1
  ${If} ${FileExists} "$INSTDIR\$0.$Stamp.old"
    Delete "$INSTDIR\$0"
    Rename "$INSTDIR\$0.$Stamp.old" "$INSTDIR\$0"
  ${ElseIf} $1 != $Placed
    Delete "$INSTDIR\$0"
  ${EndIf}
  Delete "$INSTDIR\$0.new"
  Pop $0
FunctionEnd

; The installation stands: a file still staged goes in place at the next restart, and a backup
; still in use goes then.
Function PlaceAtRestart
  Exch $0
  ${If} ${FileExists} "$INSTDIR\$0.new"
    Rename /REBOOTOK "$INSTDIR\$0.new" "$INSTDIR\$0"
    !insertmacro LOG "$INSTDIR\$0 is in use, by a Horavia in another session: the new one takes its place at the next restart."
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\$0.$Stamp.old"
    Delete /REBOOTOK "$INSTDIR\$0.$Stamp.old"
    ${If} ${FileExists} "$INSTDIR\$0.$Stamp.old"
      !insertmacro LOG "The replaced $INSTDIR\$0 is in use, by a Horavia in another session: that Horavia runs the old program until it ends; the old file goes at the next restart."
    ${EndIf}
  ${EndIf}
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
  ${If} $Fresh == 1
    Delete "$INSTDIR\Setup.log"
  ${EndIf}
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

; A task definition for schtasks in $3: UTF-16 LE with a byte order mark. Normal priority (a
; task's default, 7, is below normal), no time limit, on battery power too, and never ended hard
; (which would lose the settings). With $4 "": the logon task, with $4 a user (DOMAIN\user): a
; task without trigger that starts Horavia for that user alone, in that user's session. Leaves
; "" on the stack, or why it could not be written. Uses $0, $2, $5.
Function WriteTask
  StrCpy $2 "$INSTDIR"
  !insertmacro XML_ESCAPE $2
  ClearErrors
  FileOpen $0 "$3" w
  FileWriteWord $0 0xFEFF
  !insertmacro XML_LINE '<?xml version="1.0" encoding="UTF-16"?>'
  !insertmacro XML_LINE '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
  !insertmacro XML_LINE '  <RegistrationInfo>'
  ${If} $4 == ""
    !insertmacro XML_LINE '    <Description>Starts Horavia at every user$\'s logon, so that it can set the system clock.</Description>'
    !insertmacro XML_LINE '  </RegistrationInfo>'
    !insertmacro XML_LINE '  <Triggers>'
    !insertmacro XML_LINE '    <LogonTrigger>'
    !insertmacro XML_LINE '      <Enabled>true</Enabled>'
    !insertmacro XML_LINE '    </LogonTrigger>'
    !insertmacro XML_LINE '  </Triggers>'
    !insertmacro XML_LINE '  <Principals>'
    !insertmacro XML_LINE '    <Principal id="Users">'
    !insertmacro XML_LINE '      <GroupId>${USERS_SID}</GroupId>'
  ${Else}
    StrCpy $5 $4
    !insertmacro XML_ESCAPE $5
    !insertmacro XML_LINE '    <Description>Starts Horavia once, for the user logged on where it was installed; the installer removes it.</Description>'
    !insertmacro XML_LINE '  </RegistrationInfo>'
    !insertmacro XML_LINE '  <Principals>'
    !insertmacro XML_LINE '    <Principal id="Users">'
    !insertmacro XML_LINE '      <UserId>$5</UserId>'
    !insertmacro XML_LINE '      <LogonType>InteractiveToken</LogonType>'
  ${EndIf}
  !insertmacro XML_LINE '      <RunLevel>HighestAvailable</RunLevel>'
  !insertmacro XML_LINE '    </Principal>'
  !insertmacro XML_LINE '  </Principals>'
  !insertmacro XML_LINE '  <Settings>'
  !insertmacro XML_LINE '    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>'
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
  !insertmacro XML_LINE '  <Actions Context="Users">'
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
  Push ""
FunctionEnd

; The task that starts Horavia at every user's logon, whoever installs it, each with the highest
; privileges that user has: an administrator's Horavia then holds the right to set the clock,
; without a prompt. The principal is the built-in Users group, by its SID (the same in every
; language), so that the task runs for every member; its own Horavia in each session, while
; another session runs one. Every setting is written out. Leaves "" on the stack, or why it could
; not be registered.
Function RegisterTask
  InitPluginsDir
  StrCpy $3 "$PLUGINSDIR\HoraviaTask.xml"
  StrCpy $4 ""
  Call WriteTask
  Pop $0
  ${If} $0 != ""
    Push $0
    Return
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /create /tn ${TASK} /xml "$3" /f'
  Pop $0
  ${If} $0 != 0
    Push "The scheduled task $\"${TASK}$\" that starts Horavia at logon could not be registered (schtasks: $0). The installation was undone; to install without it, untick $\"Start Horavia at logon$\" (silent: /NOLOGON)."
    Return
  ${EndIf}
  !insertmacro LOG "Registered the scheduled task $\"${TASK}$\": Horavia starts at every user's logon"
  Push ""
FunctionEnd

; x86, x64 or "other" for a library file, from the machine field of its PE header.
Function LibraryArch
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $2 other
  ClearErrors
  FileOpen $1 "$0" r
  ${IfNot} ${Errors}
    FileReadWord $1 $0
    ${If} $0 = 0x5A4D  ; "MZ"
      ; e_lfanew, a 32-bit offset, in two words.
      FileSeek $1 0x3C
      FileReadWord $1 $0
      FileReadWord $1 $3
      IntOp $3 $3 << 16
      IntOp $0 $0 | $3
      FileSeek $1 $0
      FileReadWord $1 $3
      FileReadWord $1 $0
      ${If} $3 = 0x4550  ; "PE" (the next word, 0, read as part of the signature)
        FileReadWord $1 $0
        ${If} $0 = 0x14C
          StrCpy $2 x86
        ${ElseIf} $0 = 0x8664
          StrCpy $2 x64
        ${EndIf}
      ${EndIf}
    ${EndIf}
    FileClose $1
  ${EndIf}
  StrCpy $0 $2
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Size and modification time of a file, to tell later whether it is still the one copied.
!macro FILE_STAMP un
Function ${un}FileStamp
  Exch $0
  Push $1
  Push $2
  Push $3
  ClearErrors
  GetFileTime "$0" $1 $2
  ${If} ${Errors}
    StrCpy $0 ""
  ${Else}
    FileOpen $3 "$0" r
    FileSeek $3 0 END $0
    FileClose $3
    StrCpy $0 "$0:$1:$2"
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro FILE_STAMP ""
!insertmacro FILE_STAMP "un."

; The library the administrator named, copied beside Horavia.exe. Only such a path and the
; system folder are taken: never a folder on PATH or the working folder, which users may write.
Function CopyNamedLibrary
  StrCpy $0 $Library
  StrCpy $1 $0 2 1
  StrCpy $2 $0 2
  ${If} $1 != ":\"
  ${AndIf} $2 != "\\"
    StrCpy $LibraryNote "The library must be named with its full path, not $\"$0$\". No library was copied."
    SetErrorLevel ${EXIT_LIBRARY}
    Return
  ${EndIf}
  ${If} ${FileExists} "$0\*.*"
    StrCpy $0 "$0\Tempiva.dll"
  ${EndIf}
  ${IfNot} ${FileExists} $0
    StrCpy $LibraryNote "The named library $0 does not exist. No library was copied."
    SetErrorLevel ${EXIT_LIBRARY}
    Return
  ${EndIf}
  Push $0
  Call LibraryArch
  Pop $1
  ${If} $1 != ${ARCH}
    StrCpy $LibraryNote "The named library $0 is not a ${ARCH} library: this Horavia cannot use it. No library was copied."
    SetErrorLevel ${EXIT_LIBRARY}
    Return
  ${EndIf}
  ClearErrors
  CopyFiles /SILENT "$0" "$INSTDIR\Tempiva.dll"
  ${If} ${Errors}
    StrCpy $LibraryNote "The library $0 could not be copied to $INSTDIR."
    SetErrorLevel ${EXIT_LIBRARY}
    Return
  ${EndIf}
  Push "$INSTDIR\Tempiva.dll"
  Call FileStamp
  Pop $1
  WriteRegStr HKLM "${UNINSTALL_KEY}" CopiedLibrary $1
  !insertmacro LOG "Copied the receiver library $0 to $INSTDIR"
  StrCpy $LibraryNote ""
FunctionEnd

; The receiver maker's Tempiva.dll where an elevated Horavia looks for it: its own folder, then
; the system folder; no wider than that.
Function CheckLibrary
  StrCpy $LibraryNote ""
  ${If} $Library != ""
    Call CopyNamedLibrary
  ${EndIf}
  ${If} $LibraryNote == ""
    StrCpy $0 "$INSTDIR\Tempiva.dll"
    ${IfNot} ${FileExists} $0
      StrCpy $0 "$SYSDIR\Tempiva.dll"
    ${EndIf}
    ${IfNot} ${FileExists} $0
      StrCpy $LibraryNote "No receiver library Tempiva.dll was found. Put the one from the receiver's maker (${ARCH}) into $INSTDIR, or name it to this setup (silent: /LIBRARY=<path of Tempiva.dll>)."
    ${Else}
      Push $0
      Call LibraryArch
      Pop $1
      ${If} $1 != ${ARCH}
        StrCpy $LibraryNote "The receiver library $0 is not a ${ARCH} library: this Horavia cannot use it. Put the maker's ${ARCH} Tempiva.dll into $INSTDIR."
      ${Else}
        StrCpy $LibraryNote "Horavia finds the receiver library $0."
      ${EndIf}
    ${EndIf}
  ${EndIf}
  !insertmacro LOG "$LibraryNote"
FunctionEnd

; "" when $INSTDIR lies inside a Program Files folder, whose permissions Windows sets; else
; "other".
Function ProgramFilesOrOther
  Push other
  ${ForEach} $1 0 2 + 1
    ${If} $1 == 0
      StrCpy $2 $PROGRAMFILES
    ${ElseIf} $1 == 1
      StrCpy $2 $PROGRAMFILES64
    ${Else}
      StrCpy $2 $PROGRAMFILES32
    ${EndIf}
    StrLen $3 "$2\"
    StrCpy $4 "$INSTDIR" $3
    ${If} $4 == "$2\"
      Pop $0
      Push ""
      ${Break}
    ${EndIf}
  ${Next}
FunctionEnd

; A folder outside Program Files inherits what its parent allows, often that users write there.
; Refuses a network folder and a volume without permissions (FAT), where no ACL holds. Leaves ""
; on the stack, or why the folder is refused.
Function CheckFolder
  Call ProgramFilesOrOther
  Pop $0
  ${If} $0 == ""
    Push ""
    Return
  ${EndIf}
  StrCpy $0 "$INSTDIR" 2
  ${If} $0 == "\\"
    Push "$INSTDIR is a network folder, which users of other machines may write. Choose a folder on a local disk."
    Return
  ${EndIf}
  StrCpy $0 "$INSTDIR" 3
  System::Call "kernel32::GetDriveTypeW(w r0) i .r1"
  ${If} $1 == 4  ; DRIVE_REMOTE
    Push "$INSTDIR is a network folder, which users of other machines may write. Choose a folder on a local disk."
    Return
  ${EndIf}
  System::Call "kernel32::GetVolumeInformationW(w r0, p 0, i 0, p 0, p 0, *i .r2, p 0, i 0) i .r1"
  IntOp $2 $2 & 8  ; FILE_PERSISTENT_ACLS
  ${If} $1 == 0
  ${OrIf} $2 == 0
    Push "$INSTDIR lies on a volume without permissions (FAT, say), where every user may change the program. Choose a folder on an NTFS volume, or Program Files."
    Return
  ${EndIf}
  Push ""
FunctionEnd

; Gives a program folder outside Program Files an administrators-only ACL. Leaves "" on the
; stack, or why it could not.
Function SecureFolder
  Call ProgramFilesOrOther
  Pop $0
  ${If} $0 == ""
    Push ""
    Return
  ${EndIf}
  System::Call "advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w '${FOLDER_SDDL}', i 1, *p .r1, p 0) i .r0"
  ${If} $0 == 0
    Push "The permissions for $INSTDIR could not be prepared."
    Return
  ${EndIf}
  System::Call "advapi32::GetSecurityDescriptorOwner(p r1, *p .r2, *i .r5)"
  System::Call "advapi32::GetSecurityDescriptorDacl(p r1, *i .r5, *p .r3, *i .r5)"
  ; Owner and protected DACL (0x80000005), passed on to what the folder holds.
  System::Call "advapi32::SetNamedSecurityInfoW(w '$INSTDIR', i 1, i 0x80000005, p r2, p 0, p r3, p 0) i .r0"
  System::Call "kernel32::LocalFree(p r1)"
  ${If} $0 != 0
    Push "$INSTDIR could not be given administrators-only permissions (error $0)."
    Return
  ${EndIf}
  !insertmacro LOG "$INSTDIR, outside Program Files, was given administrators-only permissions"
  Push ""
FunctionEnd

; The other build (x86 or x64) sits in the other registry view: it goes first, by its own
; uninstaller, so that one task, one uninstall entry and one program folder exist at a time.
Function RemoveOtherBuild
!if ${ARCH} == x64
  SetRegView 32
!else
  ${IfNot} ${RunningX64}
    Return
  ${EndIf}
  SetRegView 64
!endif
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" InstallLocation
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" DisplayName
  SetRegView default
  ${If} $2 == ""
    Push ""
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$1\Uninstall.exe"
    Push "Another build of Horavia ($2) is installed, but its uninstaller $1\Uninstall.exe is missing. Remove it first."
    Return
  ${EndIf}
  !insertmacro LOG "Removing the other build, $2 in $1, first"
  InitPluginsDir
  ClearErrors
  CopyFiles /SILENT "$1\Uninstall.exe" "$PLUGINSDIR\OtherUninstall.exe"
  ExecWait '"$PLUGINSDIR\OtherUninstall.exe" /S _?=$1' $0
  Delete "$PLUGINSDIR\OtherUninstall.exe"
  ${If} ${Errors}
  ${OrIf} $0 != 0
  ${AndIf} $0 != ${EXIT_RESTART}
    Push "The other build of Horavia ($2, in $1) could not be removed (exit code $0). Remove it first."
    Return
  ${EndIf}
  RMDir "$1"  ; an earlier version's uninstaller leaves the folder for the next restart
!if ${ARCH} == x64
  SetRegView 32
!else
  SetRegView 64
!endif
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" DisplayName
  SetRegView default
  ${If} $2 != ""
    Push "The other build of Horavia ($2, in $1) is still registered after its removal. Remove it first."
    Return
  ${EndIf}
  Push ""
FunctionEnd

; The work, once the choices are known: remove the other build, end a running Horavia, write the
; new files beside the old ones, put them in place, register the start at logon (undoing the
; files if that fails), then the entry in the list of programs, the event source and the
; shortcuts; last, restart the Horavia that was ended.
Section "-Install"
  !insertmacro OPEN_LOG Horavia-setup.log
  !insertmacro NEW_STAMP $Stamp
  StrCpy $Placed "|"
  Call CheckFolder
  Pop $0
  ${If} $0 != ""
    !insertmacro FAIL "$0"
  ${EndIf}
  Call RemoveOtherBuild
  Pop $0
  ${If} $0 != ""
    !insertmacro FAIL "$0"
  ${EndIf}
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
  CreateDirectory "$INSTDIR"
  Call SecureFolder
  Pop $0
  ${If} $0 != ""
    !insertmacro FAIL_AND_ROLL_BACK "$0"
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
  ; Start at logon: the task from Vista on, else a shortcut in the Startup folder of all users
  ; (there an administrator's programs hold the right to set the clock).
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
      SetShellVarContext all
      SetOutPath "$INSTDIR"  ; the shortcut's working folder
      ClearErrors
      CreateShortCut "$SMSTARTUP\Horavia.lnk" "$INSTDIR\Horavia.exe"
      ${If} ${Errors}
        !insertmacro FAIL_AND_ROLL_BACK "The shortcut $SMSTARTUP\Horavia.lnk could not be made."
      ${EndIf}
      SetOutPath "$TEMP"
      StrCpy $2 "$SMSTARTUP\Horavia.lnk"
      !insertmacro LOG "Horavia starts at every user's logon: $2"
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
  ${AndIf} $1 != task
  ${AndIf} $1 != $2
    Delete "$1"
  ${EndIf}

  ; From here on the new version is in place.
  !insertmacro FOR_EACH_FILE PlaceAtRestart
  Delete "$INSTDIR\*.old"  ; earlier runs' backups, now free
  Delete "$INSTDIR\simulator\*.old"
  ${IfNot} ${SectionIsSelected} ${SecSimulator}
    Delete "$INSTDIR\simulator\Tempiva.dll"
  ${EndIf}
  RMDir "$INSTDIR\simulator"

  SetShellVarContext all
  SetOutPath "$INSTDIR"
  ClearErrors
  CreateShortCut "$SMPROGRAMS\Horavia.lnk" "$INSTDIR\Horavia.exe"
  ${If} ${Errors}
    !insertmacro LOG "The Start menu shortcut $SMPROGRAMS\Horavia.lnk could not be made."
    SetErrorLevel 1
  ${EndIf}
  SetOutPath "$TEMP"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $3 $4
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "Horavia (${ARCH})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "Horavia developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" URLInfoAbout "https://horavia.example.com/"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Horavia.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Build "${ARCH}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  ; Uninstall.exe runs on from a copy of itself and returns at once; for deployment tools, which
  ; wait for the command and take its exit code, the copy is made first and run in place of the
  ; program's folder (_?=): it returns when all is removed. (An NSIS program keeps its own file
  ; open: it can neither remove nor rename itself, and a waiting one would stay in the folder.)
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$SYSDIR\cmd.exe" /d /c copy /y "$INSTDIR\Uninstall.exe" "%TEMP%\Horavia-uninstall.exe" >nul && "%TEMP%\Horavia-uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  ; How Horavia starts at logon, for the uninstaller: "task", the Startup shortcut, or "".
  WriteRegStr HKLM "${UNINSTALL_KEY}" LogonStart "$2"
  ; The program's messages in the Application event log.
  WriteRegExpandStr HKLM "${EVENTLOG_KEY}" EventMessageFile "$INSTDIR\Horavia.exe"
  WriteRegDWORD HKLM "${EVENTLOG_KEY}" TypesSupported 7
  ${If} ${Errors}
    !insertmacro LOG "The entry in the list of installed programs or the event source could not be written."
    SetErrorLevel 1
  ${EndIf}

  Call CheckLibrary
  ${If} ${RebootFlag}
    StrCpy $LibraryNote "$LibraryNote$\r$\n$\r$\nA Horavia in another session still uses the old files: they are replaced at the next restart of Windows."
  ${EndIf}
  !insertmacro RESTART_EXIT_CODE
  ${If} $Ended > 0
    Call StartAsAtLogon
  ${EndIf}
  !insertmacro CLOSE_LOG
  CopyFiles /SILENT "$TEMP\Horavia-setup.log" "$INSTDIR\Setup.log"
SectionEnd

; Starts Horavia as the logon task would for the user of this session, and for no one else: the
; logon task itself, its principal a group, would start it in the session of every member logged
; on, also where one runs already. So a task of its own, for that user alone, is run once and
; removed (which does not end the Horavia it started); never this installer's elevated rights.
; Where no one is logged on to this session (a deployment tool's SYSTEM install in session 0),
; Horavia starts at the next logon. Without a task: on Windows 2000 and XP, when this installer
; runs as the session's user, as the Startup shortcut would; else at the next logon.
Function StartAsAtLogon
  ${If} $TaskRun == 1
    Call SessionUser
    ${If} $0 == ""
      !insertmacro LOG "No user is logged on to this session: Horavia starts at the next logon."
      Return
    ${EndIf}
    ${If} $1 != ""
      StrCpy $0 "$1\$0"
    ${EndIf}
    StrCpy $4 $0
    InitPluginsDir
    StrCpy $3 "$PLUGINSDIR\HoraviaStart.xml"
    Call WriteTask
    Pop $0
    ${If} $0 == ""
      nsExec::Exec '"$SYSDIR\schtasks.exe" /create /tn "${START_TASK}" /xml "$3" /f'
      Pop $0
    ${EndIf}
    ${If} $0 != 0
      !insertmacro LOG "Horavia could not be started for $4 (the task $\"${START_TASK}$\": $0): it starts at the next logon, or from the Start menu."
      Return
    ${EndIf}
    nsExec::Exec '"$SYSDIR\schtasks.exe" /run /tn "${START_TASK}"'
    Pop $5
    ; The task is removed once its Horavia is there: its window, or its single-instance mutex
    ; (which another account's Horavia may deny this installer, but not hide).
    StrCpy $6 0
    ${If} $5 == 0
      StrCpy $7 ${START_WAIT_MS}
      ${Do}
        FindWindow $6 "${FORM_CLASS}"
        ${If} $6 != 0
          ${Break}
        ${EndIf}
        System::Call "kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w 'Tempiva') p .r6 ?e"
        Pop $8
        ${If} $6 != 0
          System::Call "kernel32::CloseHandle(p r6)"
          ${Break}
        ${ElseIf} $8 == 5  ; ERROR_ACCESS_DENIED: there, under another account
          StrCpy $6 1
          ${Break}
        ${EndIf}
        ${If} $7 <= 0
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $7 $7 - 100
      ${Loop}
    ${EndIf}
    nsExec::Exec '"$SYSDIR\schtasks.exe" /delete /tn "${START_TASK}" /f'
    Pop $0
    ${If} $5 != 0
      !insertmacro LOG "Horavia could not be started for $4 (schtasks /run: $5): it starts at the next logon, or from the Start menu."
    ${ElseIf} $6 == 0
      !insertmacro LOG "The scheduled task $\"${START_TASK}$\" was run for $4, but no Horavia appeared within ${START_WAIT_MS} ms: it starts at the next logon, or from the Start menu."
    ${Else}
      !insertmacro LOG "Started Horavia for $4 through the scheduled task $\"${START_TASK}$\""
    ${EndIf}
    ${If} $0 != 0
      !insertmacro LOG "The scheduled task $\"${START_TASK}$\" could not be removed (schtasks: $0); remove it with: schtasks /delete /tn $\"${START_TASK}$\" /f"
    ${EndIf}
    Return
  ${EndIf}
  ${IfNot} ${AtLeastWinVista}
    Call IsSessionUser
    Pop $0
    ${If} $0 == 1
      Exec '"$INSTDIR\Horavia.exe"'
      !insertmacro LOG "Started Horavia"
      Return
    ${EndIf}
  ${EndIf}
  !insertmacro LOG "Horavia was not started from here: it starts at the next logon, or from the Start menu."
FunctionEnd

; The user logged on to this installer's session: the name in $0, the domain in $1; $0 is ""
; where no one is (session 0 of the services from Vista on). Uses $2-$4.
Function SessionUser
  StrCpy $0 ""
  StrCpy $1 ""
  System::Call "kernel32::GetCurrentProcessId() i .r2"
  System::Call "kernel32::ProcessIdToSessionId(i r2, *i .r3) i .r2"
  ${If} $2 == 0
    Return
  ${EndIf}
  System::Call "wtsapi32::WTSQuerySessionInformationW(p 0, i r3, i 5, *p .r2, *i .r4) i .r4"  ; WTSUserName
  ${If} $4 == 0
    Return
  ${EndIf}
  System::Call "kernel32::lstrcpynW(w .r0, p r2, i ${NSIS_MAX_STRLEN})"
  System::Call "wtsapi32::WTSFreeMemory(p r2)"
  System::Call "wtsapi32::WTSQuerySessionInformationW(p 0, i r3, i 7, *p .r2, *i .r4) i .r4"  ; WTSDomainName
  ${If} $4 != 0
    System::Call "kernel32::lstrcpynW(w .r1, p r2, i ${NSIS_MAX_STRLEN})"
    System::Call "wtsapi32::WTSFreeMemory(p r2)"
  ${EndIf}
FunctionEnd

; 1 when this installer runs as the user logged on to this session.
Function IsSessionUser
  Call SessionUser
  System::Call "advapi32::GetUserNameW(w .r2, *i ${NSIS_MAX_STRLEN}) i .r3"
  ${If} $0 != ""
  ${AndIf} $3 != 0
  ${AndIf} $0 == $2
    Push 1
  ${Else}
    Push 0
  ${EndIf}
FunctionEnd

Function FinishShow
  ; A Horavia ended for the upgrade was started again already. Without a task, this elevated
  ; installer cannot start Horavia as the user from Vista on, nor as another user on 2000 and XP;
  ; with one, not where no one is logged on to this session.
  StrCpy $5 0
  ${If} $TaskRun == 1
    Call SessionUser
    ${If} $0 != ""
      StrCpy $5 1
    ${EndIf}
  ${ElseIfNot} ${AtLeastWinVista}
    Call IsSessionUser
    Pop $5
  ${EndIf}
  ${If} $Ended > 0
  ${OrIf} $5 != 1
    ${NSD_Uncheck} $mui.FinishPage.Run
    ShowWindow $mui.FinishPage.Run 0
  ${EndIf}
FunctionEnd

Function StartNow
  ${If} $Ended == 0
    Call StartAsAtLogon
  ${EndIf}
FunctionEnd

; Ends Horavia, removes its start at logon, its shortcut, its files, its event source and its
; entry. The settings (Kronalt.ini in each user's application-data folder) stay, and so does a
; Tempiva.dll that the installer did not put there. Nothing is left for the next restart unless
; a file really is in use (exit code 3010).
Section "Uninstall"
  !insertmacro OPEN_LOG Horavia-uninstall.log
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
  Delete "$SMSTARTUP\Horavia.lnk"

  SetOutPath "$TEMP"
  ; A Horavia.exe still running in another session goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\Horavia.exe"
  Delete /REBOOTOK "$INSTDIR\Horavia.exe.*.old"
  Delete "$INSTDIR\*.old"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\Setup.log"
  Delete "$INSTDIR\simulator\Tempiva.dll"
  Delete "$INSTDIR\simulator\*.old"
  RMDir "$INSTDIR\simulator"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" CopiedLibrary
  ${If} $1 != ""
    Push "$INSTDIR\Tempiva.dll"
    Call un.FileStamp
    Pop $2
    ${If} $1 == $2
    ${OrIf} $1 == 1  ; an earlier version's mark
      Delete "$INSTDIR\Tempiva.dll"
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\Uninstall.exe"  ; this is a copy of it, run in place (_?=)
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Tempiva.dll"
    !insertmacro LOG "$INSTDIR stays: the Tempiva.dll there was not put there by the installer."
  ${EndIf}
  DeleteRegKey HKLM "${EVENTLOG_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    !insertmacro LOG "A file in use (a Horavia in another session) is removed at the next restart."
  ${EndIf}
  !insertmacro RESTART_EXIT_CODE
  !insertmacro CLOSE_LOG
SectionEnd

