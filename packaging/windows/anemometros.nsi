; The installer of K&V ANEMÔMETROS for 64-bit Windows, made by scripts/lib/windows-package.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.5 -DVERSION_NUMERIC=1.5.0.0 -DPROGRAM_FILES=list.nsh
;            -DSTATION=folder/station -DOUTFILE=setup.exe anemometros.nsi
; PROGRAM_FILES is an include with two macros, InstallProgramFiles and RemoveProgramFiles, that
; name each file of the packed program; STATION is the station folder's template.
;
; For one user and without administrator rights: the program under %LOCALAPPDATA%\Programs, the
; user's station folder (where the program runs: ConfigALL.txt, anemometros.ini, the StatusLOG
; files, IMAGES, HELP) under %APPDATA%, the shortcuts in the user's Start menu. Uninstalling
; removes the program and its shortcuts and leaves the station folder as it is. /S installs and
; uninstalls without a window.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include "${PROGRAM_FILES}"

!define PRODUCT "K&V ANEMÔMETROS"
; In labels a lone & marks the next letter as the key: "K&&V" shows as K&V.
!define PRODUCT_LABEL "K&&V ANEMÔMETROS"
; The folders' names, without the accent, as the program's first versions had them.
!define FOLDER "K&V ANEMOMETROS"
!define FOLDER_LABEL "K&&V ANEMOMETROS"
!define STATION_DIR "$APPDATA\${FOLDER}"
!define MENU_DIR "$SMPROGRAMS\${PRODUCT}"
!define MANUAL "K&V_ZARERAZIRU.pdf"
!define UNINSTALLER "desinstalar.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${FOLDER}"
!define SETTINGS_KEY "Software\${FOLDER}"

Name "${PRODUCT}" "${PRODUCT_LABEL}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${FOLDER}"
InstallDirRegKey HKCU "${SETTINGS_KEY}" "InstallDir"
BrandingText "${PRODUCT_LABEL} ${VERSION}"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Abrir o ${PRODUCT_LABEL} agora"
!define MUI_FINISHPAGE_RUN_FUNCTION RunStation
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "O ${PRODUCT_LABEL} será removido da pasta abaixo. A pasta da estação, $APPDATA\${FOLDER_LABEL}, com a configuração e os registros, não será apagada."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "PortugueseBR"

VIProductVersion "${VERSION_NUMERIC}"
VIFileVersion "${VERSION_NUMERIC}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "CompanyName" "K&V"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "FileDescription" "Instalador do ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} "LegalCopyright" "K&V"

; A shortcut to the program started in the station folder, whose files it reads and writes.
!macro StationShortcut LINK ARGUMENTS DESCRIPTION
    SetOutPath "${STATION_DIR}"
    CreateShortCut "${LINK}" "$INSTDIR\anemometros.exe" "${ARGUMENTS}" \
        "$INSTDIR\anemometros.exe" 0 SW_SHOWNORMAL "" "${DESCRIPTION}"
!macroend

; A running program keeps its files: Windows opens neither its exe nor its DLLs for writing.
; Asks for it to be closed (a silent run gives up) rather than leave half the files replaced.
!macro ProgramClosedFunction PREFIX
Function ${PREFIX}EnsureProgramClosed
    retry:
    ${If} ${FileExists} "$INSTDIR\anemometros.exe"
        ClearErrors
        FileOpen $0 "$INSTDIR\anemometros.exe" a
        ${If} ${Errors}
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                "O ${PRODUCT} está aberto. Feche-o pelo menu Sair (e também a visão do local, se estiver aberta) e tente de novo." \
                /SD IDCANCEL IDRETRY retry
            SetErrorLevel 2
            Quit
        ${EndIf}
        FileClose $0
    ${EndIf}
FunctionEnd
!macroend
!insertmacro ProgramClosedFunction ""
!insertmacro ProgramClosedFunction "un."

Section "Programa e atalhos" SecProgram
    SectionIn RO
    Call EnsureProgramClosed
    ; A version installed before goes first, by its own uninstaller, which knows its files: a
    ; new version need not have them all. The station folder stays, as always.
    ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
        ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
        Delete "$INSTDIR\${UNINSTALLER}"
    ${EndIf}

    SetOutPath "$INSTDIR"
    !insertmacro InstallProgramFiles

    ; The station folder: the configuration is the user's from its first copy on, and a new
    ; installation keeps it; the icons and the manual are the program's and follow its version.
    SetOutPath "${STATION_DIR}"
    SetOverwrite off
    File "${STATION}/ConfigALL.txt"
    SetOverwrite on
    SetOutPath "${STATION_DIR}\IMAGES"
    File "${STATION}/IMAGES/*.ICO"
    SetOutPath "${STATION_DIR}\HELP"
    File "${STATION}/HELP/${MANUAL}"

    CreateDirectory "${MENU_DIR}"
    !insertmacro StationShortcut "${MENU_DIR}\${PRODUCT}.lnk" "" \
        "Estação de monitoramento dos anemômetros"
    !insertmacro StationShortcut "${MENU_DIR}\${PRODUCT} — Local.lnk" "--local" \
        "Visão do local: as estações de vários computadores, pelo servidor MQTT"
    CreateShortCut "${MENU_DIR}\Manual do ${PRODUCT}.lnk" "${STATION_DIR}\HELP\${MANUAL}"
    CreateShortCut "${MENU_DIR}\Desinstalar.lnk" "$INSTDIR\${UNINSTALLER}"

    WriteRegStr HKCU "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "K&V"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\anemometros.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "Iniciar com o Windows" SecStartup
    !insertmacro StationShortcut "$SMSTARTUP\${PRODUCT}.lnk" "" \
        "Estação de monitoramento dos anemômetros"
SectionEnd

; The choice is kept for the next installation, which offers it again.
Section "-StartupChoice"
    ${If} ${SectionIsSelected} ${SecStartup}
        WriteRegDWORD HKCU "${SETTINGS_KEY}" "StartWithWindows" 1
    ${Else}
        Delete "$SMSTARTUP\${PRODUCT}.lnk"
        WriteRegDWORD HKCU "${SETTINGS_KEY}" "StartWithWindows" 0
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "O programa da estação e a visão do local, a pasta da estação com a configuração inicial e os atalhos do menu Iniciar."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartup} "Abre o programa da estação sempre que você entrar no Windows."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ReadRegDWORD $0 HKCU "${SETTINGS_KEY}" "StartWithWindows"
    ${If} $0 = 1
        !insertmacro SelectSection ${SecStartup}
    ${EndIf}
FunctionEnd

Function RunStation
    SetOutPath "${STATION_DIR}"
    Exec '"$INSTDIR\anemometros.exe"'
FunctionEnd

Function un.onInit
    Call un.EnsureProgramClosed
FunctionEnd

Section "Uninstall"
    !insertmacro RemoveProgramFiles
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"

    Delete "${MENU_DIR}\${PRODUCT}.lnk"
    Delete "${MENU_DIR}\${PRODUCT} — Local.lnk"
    Delete "${MENU_DIR}\Manual do ${PRODUCT}.lnk"
    Delete "${MENU_DIR}\Desinstalar.lnk"
    RMDir "${MENU_DIR}"
    Delete "$SMSTARTUP\${PRODUCT}.lnk"

    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd
