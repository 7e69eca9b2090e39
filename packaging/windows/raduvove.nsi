; The Windows installer: raduvove-setup.exe, for the current user, without administrator rights.
; makensis gets from the build (packaging/windows/CMakeLists.txt):
;   RV_VERSION       the project's version, four numbers (the executable's version record too)
;   RV_CLIENT_DIR    the files of the build's client folder, RV_EXE_NAME (raduvove.exe) and
;                    RV_SUPPORT_IM_NAME (SupportIM.dll): all the client needs beside itself
;   RV_ICON          the client's icon (res/app.ico)
;   RV_WIZARD_BITMAP the picture beside the welcome and finish pages (wizard.bmp, wizard.sh)
;   RV_WINDOW_CLASS  the class of the client's windows, by which a running client is found
;   RV_OUTFILE       where the installer goes
; Silent with /S. /AUTOSTART=1 or /AUTOSTART=0 sets the "start with Windows" component; without
; it the component is as the installed version had it (off on a first install).
; The client writes static.ini beside itself: an install never ships, overwrites or deletes it;
; the uninstaller removes it with the rest, so nothing of the client is left behind.
Unicode true
Target amd64-unicode  ; the client is a 64-bit program
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "RaduVove"
!define PUBLISHER "Lumo"
!define EXE_NAME "${RV_EXE_NAME}"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define HIDDEN_START "-hh"

Name "${PRODUCT} ${RV_VERSION}"
OutFile "${RV_OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${RV_VERSION}"

VIProductVersion "${RV_VERSION}"
VIFileVersion "${RV_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${RV_VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${RV_VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define MUI_ICON "${RV_ICON}"
!define MUI_UNICON "${RV_ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${RV_WIZARD_BITMAP}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!define MUI_FINISHPAGE_RUN_TEXT "启动 ${PRODUCT}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; END_RUNNING_CLIENT PREFIX QUESTION: defines the function PREFIX.EndRunningClient (an empty
; PREFIX for the installer, "un." for the uninstaller), which ends every client started from
; $INSTDIR before its files are replaced or removed. The user is asked once with QUESTION (a
; silent run goes on without asking; Cancel quits). Each client is asked to end as when the
; user logs off (WM_ENDSESSION to its windows: the main one closes the client, keeping nothing
; half-written); one still running after 5 s is terminated. Clients of other folders are left.
!macro END_RUNNING_CLIENT PREFIX QUESTION
Function ${PREFIX}FindClient  ; -> $R0 the process handle of a client of $INSTDIR (0: none), $R1 its id
  StrCpy $R0 0
  StrCpy $R2 0
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p $R2, w "${RV_WINDOW_CLASS}", p 0) p .R2'
    ${IfThen} $R2 P= 0 ${|} ${ExitDo} ${|}
    System::Call 'user32::GetWindowThreadProcessId(p $R2, *i .R1)'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x101001, i 0, i $R1) p .R3'
    ${If} $R3 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p $R3, i 0, w .R4, *i ${NSIS_MAX_STRLEN}) i .R5'
      ${If} $R5 <> 0
      ${AndIf} $R4 == "$INSTDIR\${EXE_NAME}"  ; without regard to case, as the file system
        StrCpy $R0 $R3
        ${ExitDo}
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p $R3)'
    ${EndIf}
  ${Loop}
FunctionEnd

Function ${PREFIX}EndRunningClient
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R6 0  ; asked already
  ${Do}
    Call ${PREFIX}FindClient
    ${IfThen} $R0 P= 0 ${|} ${ExitDo} ${|}
    ${If} $R6 = 0
      MessageBox MB_OKCANCEL|MB_ICONQUESTION "${QUESTION}" /SD IDOK IDOK end_it
      System::Call 'kernel32::CloseHandle(p $R0)'
      Quit
    end_it:
      StrCpy $R6 1
    ${EndIf}
    DetailPrint "正在关闭 ${PRODUCT}…"
    StrCpy $R2 0
    ${Do}
      System::Call 'user32::FindWindowExW(p 0, p $R2, w "${RV_WINDOW_CLASS}", p 0) p .R2'
      ${IfThen} $R2 P= 0 ${|} ${ExitDo} ${|}
      System::Call 'user32::GetWindowThreadProcessId(p $R2, *i .R3)'
      ${If} $R3 = $R1
        System::Call 'user32::PostMessageW(p $R2, i ${WM_ENDSESSION}, p 1, p 0)'
      ${EndIf}
    ${Loop}
    System::Call 'kernel32::WaitForSingleObject(p $R0, i 5000) i .R3'
    ${If} $R3 <> 0
      System::Call 'kernel32::TerminateProcess(p $R0, i 1)'
      System::Call 'kernel32::WaitForSingleObject(p $R0, i 5000)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p $R0)'
  ${Loop}
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro END_RUNNING_CLIENT "" "${PRODUCT} 正在运行，安装前需要将其关闭。$\n$\n点击“确定”关闭 ${PRODUCT} 并继续安装，点击“取消”退出安装。"
!insertmacro END_RUNNING_CLIENT "un." "${PRODUCT} 正在运行，卸载前需要将其关闭。$\n$\n点击“确定”关闭 ${PRODUCT} 并继续卸载，点击“取消”退出卸载。"

Section "${PRODUCT}（必需）" SecClient
  SectionIn RO
  Call EndRunningClient
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${RV_CLIENT_DIR}/${EXE_NAME}"
  File "${RV_CLIENT_DIR}/${RV_SUPPORT_IM_NAME}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0
  ; Set again by the next component when it is chosen.
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${RV_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Off unless chosen: the client then starts hidden (-hh) when the user logs on, until the boss key.
Section /o "开机时自动启动（隐藏启动，按老板键显示）" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE_NAME}" ${HIDDEN_START}'
SectionEnd

Function .onInit
  ; An upgrade keeps the choice the installed version had.
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/AUTOSTART=" $2
  ${IfNot} ${Errors}
    ${If} $2 == "1"
      !insertmacro SelectSection ${SecAutostart}
    ${ElseIf} $2 == "0"
      !insertmacro UnselectSection ${SecAutostart}
    ${Else}
      MessageBox MB_ICONSTOP "/AUTOSTART= 只接受 1 或 0（收到“$2”）。" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.EndRunningClient
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\${RV_SUPPORT_IM_NAME}"
  Delete "$INSTDIR\static.ini"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: a folder the user chose may hold files of others.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
