; Installer of Tessaly软件管家 for 64-bit Windows (NSIS 3, Modern UI 2).
; Built by dist/windows/package.sh, which passes:
;   VERSION          program version, e.g. 8.0.0.1
;   VERSION4         the same with exactly four numbers (version resource)
;   FILE_LIST        generated include with the macros TESSALY_INSTALL_FILES, TESSALY_REMOVE_FILES
;                    and TESSALY_REMOVE_FOLDERS
;   ICON_FILE        the program's .ico
;   RUNNING_MAPPING  name of the file mapping a running copy holds (its single-instance segment)
;   OUT_FILE         the installer to write
; Exit codes: 0 done, 1 cancelled by the user, 2 failed (an install removes again what it wrote into
; a folder it created; an uninstall that cannot delete a file keeps the key and uninstall.exe), 3 a copy
; of the program is running, 4 needs administrator rights or Windows 7 or later.

Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
; Not solid: a solid block is first unpacked whole into %TEMP%; this way each file goes straight to its place.
SetCompressor lzma
AllowSkipFiles off

!ifndef VERSION | VERSION4 | FILE_LIST | ICON_FILE | RUNNING_MAPPING | OUT_FILE
  !error "VERSION, VERSION4, FILE_LIST, ICON_FILE, RUNNING_MAPPING and OUT_FILE must be defined; build the installer with dist/windows/package.sh"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinVer.nsh"
!include "${FILE_LIST}"

!define PRODUCT       "Tessaly软件管家"
!define PUBLISHER     "Tessaly"
!define UNINST_KEY    "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly"
!define UNINSTALLER   "uninstall.exe"
!define MENU_FOLDER   "$SMPROGRAMS\${PRODUCT}"
!define DESKTOP_LINK  "$DESKTOP\${PRODUCT}.lnk"
!define EXIT_FAILED   2
!define EXIT_RUNNING  3
!define EXIT_REFUSED  4
!define FILE_MAP_READ 4
!define ERROR_ACCESS_DENIED 5

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} 安装"
UninstallCaption "${PRODUCT} 卸载"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Tessaly"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveWithoutRunningCopy
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "运行 ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION LaunchProgram
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE un.LeaveWithoutRunningCopy
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

Var CreatedRoot    ; highest folder of $INSTDIR's path that this run creates; empty when $INSTDIR existed
Var KeyExisted     ; 1 when the uninstall key was there before this run
Var MadeShortcuts  ; 1 once this run has started creating shortcuts

; Both the installer and the uninstaller start with the same checks.
!macro CHECKS_ON_START
  SetShellVarContext all
  SetRegView 64
  ${IfNot} ${AtLeastWin7}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} 需要 Windows 7 或更高版本。" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "请以管理员身份运行。" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
!macroend

; A running copy holds its single-instance segment, a named file mapping, for as long as it runs.
; While the mapping can be opened (or exists but is refused to us), the user is asked to close the
; program. CloseRunningCopy leaves 1 in $0 once no copy runs, 0 when the user gives up (always so in
; silent mode). On a page, giving up keeps the user there; in a section it ends the run with
; EXIT_RUNNING, before anything is changed.
!macro DEFINE_RUNNING_COPY_CHECKS un
Function ${un}CloseRunningCopy
  Push $1
  ${Do}
    System::Call 'kernel32::OpenFileMappingW(i ${FILE_MAP_READ}, i 0, w "${RUNNING_MAPPING}") p.r0 ?e'
    Pop $1
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
    ${ElseIf} $1 <> ${ERROR_ACCESS_DENIED}
      StrCpy $0 1
      ${ExitDo}
    ${EndIf}
    DetailPrint "${PRODUCT} 正在运行。"
    StrCpy $0 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} 正在运行。$\r$\n$\r$\n请先退出程序，然后点击“重试”；点击“取消”放弃。" \
      /SD IDCANCEL IDRETRY retry
    ${ExitDo}
    retry:
  ${Loop}
  Pop $1
FunctionEnd

Function ${un}LeaveWithoutRunningCopy
  Call ${un}CloseRunningCopy
  ${IfThen} $0 = 0 ${|} Abort ${|}
FunctionEnd
!macroend
!insertmacro DEFINE_RUNNING_COPY_CHECKS ""
!insertmacro DEFINE_RUNNING_COPY_CHECKS "un."

!macro REQUIRE_NO_RUNNING_COPY un
  Call ${un}CloseRunningCopy
  ${If} $0 = 0
    DetailPrint "已取消：${PRODUCT} 仍在运行。"
    SetErrorLevel ${EXIT_RUNNING}
    Abort
  ${EndIf}
!macroend

!macro REMOVE_SHORTCUTS
  Delete "${DESKTOP_LINK}"
  Delete "${MENU_FOLDER}\${PRODUCT}.lnk"
  Delete "${MENU_FOLDER}\卸载 ${PRODUCT}.lnk"
  RMDir "${MENU_FOLDER}"
!macroend

; Stops the section with EXIT_FAILED when the step before it set the error flag.
!macro FAIL_ON_ERRORS what
  ${If} ${Errors}
    DetailPrint "${what}失败。"
    SetErrorLevel ${EXIT_FAILED}
    Abort
  ${EndIf}
!macroend

Function .onInit
  !insertmacro CHECKS_ON_START
FunctionEnd

Section "-${PRODUCT}" SecMain
  !insertmacro REQUIRE_NO_RUNNING_COPY ""

  ; Note which folders this run creates, so a failure can take them away again.
  StrCpy $CreatedRoot ""
  StrCpy $0 $INSTDIR
  ${Do}
    ${IfThen} ${FileExists} "$0\*.*" ${|} ${ExitDo} ${|}
    StrCpy $CreatedRoot $0
    ${GetParent} $0 $0
  ${LoopUntil} $0 == ""
  StrCpy $KeyExisted 0
  ClearErrors
  EnumRegValue $0 HKLM "${UNINST_KEY}" 0
  ${IfNot} ${Errors}
    StrCpy $KeyExisted 1
  ${EndIf}
  StrCpy $MadeShortcuts 0

  ClearErrors
  !insertmacro TESSALY_INSTALL_FILES
  !insertmacro FAIL_ON_ERRORS "复制文件"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  !insertmacro FAIL_ON_ERRORS "写入卸载程序"

  StrCpy $MadeShortcuts 1
  SetOutPath "$INSTDIR" ; the shortcuts' working folder
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\tessaly.exe"
  CreateShortCut "${MENU_FOLDER}\卸载 ${PRODUCT}.lnk" "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "${DESKTOP_LINK}" "$INSTDIR\tessaly.exe"
  !insertmacro FAIL_ON_ERRORS "创建快捷方式"

  ; Size of the files of this section, in KiB.
  SectionGetSize ${SecMain} $0
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayName"     "${PRODUCT}"
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayVersion"  "${VERSION}"
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayIcon"     "$INSTDIR\tessaly.exe"
  WriteRegStr   HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr   HKLM "${UNINST_KEY}" "Publisher"       "${PUBLISHER}"
  WriteRegStr   HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize"   $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify"        1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair"        1
  !insertmacro FAIL_ON_ERRORS "写入注册表"
SectionEnd

; A failed run that created the install folder takes back what it wrote, so no half-installed
; folder is left behind. Into a folder that existed (an update), nothing is removed.
Function .onInstFailed
  ${If} $CreatedRoot == ""
    Return
  ${EndIf}
  SetOutPath "$TEMP" ; a process cannot remove its current folder
  !insertmacro TESSALY_REMOVE_FILES
  !insertmacro TESSALY_REMOVE_FOLDERS
  Delete "$INSTDIR\${UNINSTALLER}"
  ${If} $MadeShortcuts = 1
    !insertmacro REMOVE_SHORTCUTS
  ${EndIf}
  ${If} $KeyExisted = 0
    DeleteRegKey HKLM "${UNINST_KEY}"
  ${EndIf}
  StrCpy $0 $INSTDIR
  ${Do}
    RMDir $0
    ${IfThen} $0 == $CreatedRoot ${|} ${ExitDo} ${|}
    ${GetParent} $0 $0
  ${LoopUntil} $0 == ""
FunctionEnd

; Started through Explorer, as the user would start it: with the user's own session and environment
; (the program asks for administrator rights itself).
Function LaunchProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\tessaly.exe"'
FunctionEnd

Function un.onInit
  !insertmacro CHECKS_ON_START
FunctionEnd

; Removes exactly what the installer wrote; folders go only when empty, so downloads in temp\ and
; anything else the user put there stay. While a file cannot be deleted (held open by some program),
; the key and uninstall.exe stay, so the uninstall can be run again.
Section "un.${PRODUCT}"
  !insertmacro REQUIRE_NO_RUNNING_COPY "un."
  SetOutPath "$TEMP"
  ClearErrors
  !insertmacro TESSALY_REMOVE_FILES
  ${If} ${Errors}
    DetailPrint "删除文件失败。"
    MessageBox MB_OK|MB_ICONEXCLAMATION "有文件正被其他程序使用，无法删除。请关闭相关程序后重新卸载。" /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
  ${EndIf}
  Delete "$INSTDIR\iconImg-failures.json" ; the program's memory of icon addresses that failed
  !insertmacro TESSALY_REMOVE_FOLDERS
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  !insertmacro REMOVE_SHORTCUTS
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
