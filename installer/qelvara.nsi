; The Windows installer: for the user alone, without administrator rights,
; into %LOCALAPPDATA%\Programs\Qelvara, with a Start menu entry and an
; uninstaller in Settings > Apps. scripts/windows-dist.sh builds it:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DARCH=x64|x86 -DSTAGE=DIR
;            -DICON=FILE.ico -DOUTFILE=FILE installer/qelvara.nsi
;
; STAGE holds qelvara.exe and LICENSE.txt, their times set to the last
; commit's, which the installer keeps: two builds of a commit are the same
; bytes.

Unicode true
; The 64-bit installer is a 64-bit program, so it runs where the program does.
!if ${ARCH} == x64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define APP Qelvara
!define PUBLISHER "The Qelvara developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
; One name in every language, so the uninstaller finds what it made.
!define SHORTCUT "$SMPROGRAMS\${APP}.lnk"

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
; A new version goes where the last one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" InstallLocation
BrandingText "${APP} ${VERSION}"

!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\qelvara.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Chinese of any region gets Traditional Chinese, everyone else English.
!insertmacro MUI_LANGUAGE English
!insertmacro MUI_LANGUAGE TradChinese

LangString Description ${LANG_ENGLISH} "Typing test for Traditional Chinese"
LangString Description ${LANG_TRADCHINESE} "中文打字測驗"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductName "${APP}"
VIAddVersionKey /LANG=${LANG_ENGLISH} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileDescription "${APP} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} LegalCopyright "MIT License. Copyright (c) 2026 ${PUBLISHER}"

Section
  SetOutPath "$INSTDIR"
  File "${STAGE}/qelvara.exe"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\qelvara.exe" "" "" 0 SW_SHOWNORMAL "" "$(Description)"

  ; The entry in Settings > Apps (and Programs and Features).
  WriteRegStr HKCU "${UNINSTALL_KEY}" DisplayName "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\qelvara.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" EstimatedSize $0
SectionEnd

; By name, never the whole folder: the user may have chosen one that holds
; more than this program.
Section Uninstall
  Delete "$INSTDIR\qelvara.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Made by the first per-user install; left where something else is in it.
  RMDir "$LOCALAPPDATA\Programs"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
