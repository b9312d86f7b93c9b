; Parlet's Windows installer, made by makensis from the build (installer/CMakeLists.txt):
;   makensis -DVERSION=0.1 -DVERSION4=0.1.0.0 -DSTAGE=<folder> -DICON=<parlet.ico>
;            -DOUTFILE=<setup.exe> parlet.nsi
; STAGE holds parlet.exe, korrel.exe and korrel.bat.
;
; It installs for the current user only, so that no administrator is needed: the program under
; %LOCALAPPDATA%\Programs, the shortcuts and the uninstall entry in the user's own profile and
; registry. Silent installs take /S, /D=<folder> (last), /KORREL=<folder> and /NOSTANDIN.

Unicode true
; 64-bit like the program, and so that it runs where only 64-bit Windows programs can.
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
; The tests make a throwaway installer with a quicker one.
!ifndef COMPRESSOR
  !define COMPRESSOR "/SOLID lzma"
!endif
SetCompressor ${COMPRESSOR}

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Parlet"
; parlet.exe holds this mutex while it runs (src/app/windows/RunningMark.cpp).
!define RUNNING_MUTEX "Local\Vellmark.Parlet.Running"
!define SYNCHRONIZE 0x00100000

Name "Parlet"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Parlet"
; An update goes where the installed version is, without asking for an uninstall first.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Parlet ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "Parlet"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Parlet ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "Vellmark"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Vellmark"

; Where Parlet starts: it runs korrel from the folder it was started in.
Var KorrelDir
; The install folder that KorrelDir was last defaulted from; a folder the user typed stays.
Var KorrelDefault
Var FinishText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "$(KorrelHeader)"
!define MUI_PAGE_HEADER_SUBTEXT "$(KorrelSubheader)"
!define MUI_DIRECTORYPAGE_TEXT_TOP "$(KorrelTop)"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "$(KorrelFolder)"
!define MUI_DIRECTORYPAGE_VARIABLE $KorrelDir
!define MUI_PAGE_CUSTOMFUNCTION_PRE KorrelPagePre
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES

!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPagePre
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartParlet
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the user's language when it is one of these; the first is the fallback.
!include /CHARSET=UTF8 "${__FILEDIR__}/languages.nsh"

Section "$(SecParlet)" SecParlet
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}/parlet.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Windows looks for a program in Parlet's own folder before the folder it starts in, so a
  ; stand-in left there by an earlier install would shadow the real tool.
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "StandIn"
  ${If} $0 = 1
    Delete "$INSTDIR\korrel.exe"
    Delete "$INSTDIR\korrel.bat"
  ${EndIf}

  ; A shortcut starts in the folder that was the output folder when it was made.
  SetOutPath "$KorrelDir"
  CreateShortcut "$SMPROGRAMS\Parlet.lnk" "$INSTDIR\parlet.exe"
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Parlet"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Vellmark"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\parlet.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKCU "${UNINSTALL_KEY}" "KorrelFolder" "$KorrelDir"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "StandIn" 0
SectionEnd

Section "$(SecStandIn)" SecStandIn
  SetOutPath "$INSTDIR"
  File "${STAGE}/korrel.exe"
  File "${STAGE}/korrel.bat"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "StandIn" 1
SectionEnd

Section /o "$(SecDesktop)" SecDesktop
  SetOutPath "$KorrelDir"
  CreateShortcut "$DESKTOP\Parlet.lnk" "$INSTDIR\parlet.exe"
  SetOutPath "$INSTDIR"
SectionEnd

; Parlet keeps parlet.ini in this folder only when it exists; it never makes it itself.
Section "$(SecSettings)" SecSettings
  CreateDirectory "$APPDATA\Vellmark"
SectionEnd

; Last, so that the size counts every component installed.
Section "-EstimatedSize"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecParlet} "$(DescParlet)"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecStandIn} "$(DescStandIn)"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "$(DescDesktop)"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSettings} "$(DescSettings)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Windows keeps a running program's files locked: ask the user to close Parlet first. A silent
; run cannot ask, so it ends with exit code 2 and changes nothing.
!macro WAIT_FOR_PARLET_TO_CLOSE
  ${Do}
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MUTEX}") p .r0'
    ${If} $0 P= 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(ParletRunning)" /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Quit
    retry:
  ${Loop}
!macroend

Function .onInit
  !insertmacro WAIT_FOR_PARLET_TO_CLOSE
  ReadRegStr $KorrelDir HKCU "${UNINSTALL_KEY}" "KorrelFolder"
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/KORREL=" $2
  ${IfNot} ${Errors}
    StrCpy $KorrelDir $2
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/NOSTANDIN" $2
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecStandIn}
  ${EndIf}
  ; A silent install shows no korrel page, where the default is otherwise filled in.
  ${If} $KorrelDir == ""
    StrCpy $KorrelDir "$INSTDIR"
    StrCpy $KorrelDefault "$INSTDIR"
  ${EndIf}
FunctionEnd

Function KorrelPagePre
  ${If} $KorrelDir == $KorrelDefault
    StrCpy $KorrelDir "$INSTDIR"
  ${EndIf}
  StrCpy $KorrelDefault "$INSTDIR"
FunctionEnd

Function FinishPagePre
  ${If} ${SectionIsSelected} ${SecSettings}
    StrCpy $FinishText "$(FinishWithFolder)"
  ${Else}
    StrCpy $FinishText "$(FinishWithoutFolder)"
  ${EndIf}
FunctionEnd

; As the shortcut starts it: in the folder of korrel.
Function StartParlet
  SetOutPath "$KorrelDir"
  Exec '"$INSTDIR\parlet.exe"'
FunctionEnd

Function un.onInit
  !insertmacro WAIT_FOR_PARLET_TO_CLOSE
FunctionEnd

; Removes what the installer put in place and nothing else: parlet.ini in %APPDATA%\Vellmark
; and recordings, wherever they were saved, stay.
Section "Uninstall"
  Delete "$INSTDIR\parlet.exe"
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "StandIn"
  ${If} $0 = 1
    Delete "$INSTDIR\korrel.exe"
    Delete "$INSTDIR\korrel.bat"
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files the user keeps there stay, and so does the folder.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Parlet.lnk"
  Delete "$DESKTOP\Parlet.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
