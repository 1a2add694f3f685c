; The Windows installer. Built by scripts/make-dist, which passes VERSION and STAGE
; (the folder holding the same files as the zip) with -D.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
!ifndef VERSION | STAGE | OUTFILE
  !error "make-dist passes VERSION, STAGE and OUTFILE"
!endif

!define PRODUCT "Quorix Firmware Updater"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorixFirmwareUpdater"
!define PROGID "Quorix.FirmwareUpdate"
!define SETTINGS_KEY "SOFTWARE\Quorix\Firmware Updater"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

; Per user unless the user asks (and may) install for everyone.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_MUI
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Quorix"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Quorix"

; /TRUSTKEY=FILE: a minisign public key (*.pub) the program trusts from then on;
; update files then load only with a signature from a trusted key.
Var TrustKey

Function .onInit
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/TRUSTKEY=" $TrustKey
  ${If} $TrustKey != ""
    ; Made whole here: the install later works in its own folder.
    GetFullPathName $TrustKey $TrustKey
    StrCpy $1 $TrustKey "" -4
    ; An install asked to trust a key must not end without it.
    ${If} $1 != ".pub"
    ${OrIfNot} ${FileExists} "$TrustKey"
      SetErrorLevel 2
      MessageBox MB_ICONSTOP "No minisign public key (*.pub) at $TrustKey." /SD IDOK
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "-Program"
  SetOutPath "$INSTDIR"
  File "${STAGE}/quorix-updater.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE-LiberationSans.txt"
  File "${STAGE}/LICENSE-Comfortaa.txt"
  File "${STAGE}/LICENSE-FreeType.txt"
  File "${STAGE}/LICENSE-libsodium.txt"
  ${If} $TrustKey != ""
    CreateDirectory "$INSTDIR\trusted-keys"
    ${GetFileName} "$TrustKey" $1
    CopyFiles /SILENT "$TrustKey" "$INSTDIR\trusted-keys\$1"
    ${IfNot} ${FileExists} "$INSTDIR\trusted-keys\$1"
      SetErrorLevel 2
      MessageBox MB_ICONSTOP "The key $TrustKey could not be installed." /SD IDOK
      Abort
    ${EndIf}
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quorix-updater.exe"

  ; SHCTX is HKCU or HKLM as MultiUser chose.
  WriteRegStr SHCTX "Software\Classes\.qfu" "" "${PROGID}"
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Quorix firmware update"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" '"$INSTDIR\quorix-updater.exe",0'
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\quorix-updater.exe" "%1"'

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Quorix"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\quorix-updater.exe",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED
SectionEnd


Section "un.Program" SecProgram
  SectionIn RO
  Delete "$INSTDIR\quorix-updater.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE-LiberationSans.txt"
  Delete "$INSTDIR\LICENSE-Comfortaa.txt"
  Delete "$INSTDIR\LICENSE-FreeType.txt"
  Delete "$INSTDIR\LICENSE-libsodium.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; The keys beside the program go with it.
  Delete "$INSTDIR\trusted-keys\*.pub"
  RMDir "$INSTDIR\trusted-keys"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Only our own association: another program may have taken .qfu since.
  ReadRegStr $0 SHCTX "Software\Classes\.qfu" ""
  ${If} $0 == "${PROGID}"
    DeleteRegKey SHCTX "Software\Classes\.qfu"
  ${EndIf}
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

; Off unless ticked, or /REMOVESETTINGS on a silent uninstall.
Section /o "un.Remove my settings" SecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}\1.00"
  DeleteRegKey /ifempty HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "SOFTWARE\Quorix"
SectionEnd


Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecSettings}
  ${EndIf}
FunctionEnd
