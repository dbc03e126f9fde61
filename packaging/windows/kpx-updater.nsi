; The Windows installer of the M740-RT Updater (makensis, built with the
; Windows programs: packaging/windows/CMakeLists.txt). Installs for the user who runs it, so that the
; program's folder stays writable: the vendor's firmware file
; KPXUpdate517.hex goes there, beside the program, which reads it from its
; working folder.
;
; makensis -DSTAGE=<folder with the files> -DOUTFILE=<installer> -DICON=<.ico>
;          -DVERSION=<x.y> kpx-updater.nsi
; The files are named one by one: nothing else in the folder (a sample
; firmware image above all) can slip into the installer.

Unicode true
Target amd64-unicode
!include "MUI2.nsh"

!ifndef STAGE
  !error "STAGE must name the folder with the files to install"
!endif
!ifndef OUTFILE
  !error "OUTFILE must name the installer to write"
!endif
!ifndef ICON
  !error "ICON must name the program's icon"
!endif
!ifndef VERSION
  !error "VERSION must give the program's version"
!endif

!define PRODUCT "M740-RT Updater"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KPX Updater"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\KPX Updater"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
; The folder on a line of its own, and the page's room for text taller than
; usual, so that both paragraphs fit below the title.
!define MUI_FINISHPAGE_TEXT "Copy the firmware file KPXUpdate517.hex into the program's folder before you start an update:$\r$\n$INSTDIR$\r$\n$\r$\nThen start ${PRODUCT} from the Start menu."
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the program's folder"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenProgramFolder

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function OpenProgramFolder
  ExecShell "open" "$INSTDIR"
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  File "${STAGE}/kpx-updater.exe"
  File "${STAGE}/kpx-update.exe"
  File "${STAGE}/KPX Updater.chm"
  File "${STAGE}/KPX Updater.ali"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is $OUTDIR, the program's folder, where
  ; the firmware file is looked for.
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kpx-updater.exe" "" "$INSTDIR\kpx-updater.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Talsen Ziroreruri Corp."
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kpx-updater.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Only what was installed: a firmware file put beside the program stays,
  ; and with it the folder.
  Delete "$INSTDIR\kpx-updater.exe"
  Delete "$INSTDIR\kpx-update.exe"
  Delete "$INSTDIR\KPX Updater.chm"
  Delete "$INSTDIR\KPX Updater.ali"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
