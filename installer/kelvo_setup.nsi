; KelvoSetup.exe: installs Kelvo for the current user, without elevation,
; into the user's local application-data folder: Kelvo.exe and
; debug_message.exe, and the application module in runtime\ beside them,
; as the launcher expects. It adds a Start-menu shortcut and registers an
; uninstaller under the user's uninstall key.
;
; An install over an installed copy replaces the files it installs and
; leaves every other file alone, such as an update the application staged
; (runtime\updatePkg.exe.tbd) or the user's own files; the uninstaller
; removes exactly the files, shortcut and key the installer made, and the
; folders only when nothing else is left in them.
;
; Neither runs while Kelvo.exe does: its files cannot be replaced or
; removed then, and a half-done upgrade or uninstall must not look like a
; finished one. Both stop with exit code 2 when Kelvo runs or a file of
; theirs cannot be written or deleted; the uninstaller then keeps itself
; and its key, so that it can be run again.
;
; Built by the x86_64 build (target kelvo_setup) with these definitions:
;   VERSION   the four-part version, as in Kelvo.exe's version block;
;   STAGING   the folder holding the files to install;
;   ICON      Kelvo.exe's icon file;
;   OUT_FILE  where KelvoSetup.exe is written.

!ifdef VERSION & STAGING & ICON & OUT_FILE
!else
  !error "VERSION, STAGING, ICON and OUT_FILE must be defined"
!endif

; A 64-bit installer: a 32-bit one cannot start where only 64-bit programs
; run.
Unicode true
Target amd64-unicode

!include LogicLib.nsh

!define PRODUCT "Kelvo"
; Held by a running Kelvo.exe for the life of its process.
!define INSTANCE_MUTEX "KelvoNetwork_KELVO"
!define SYNCHRONIZE 0x00100000
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvo"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\${PRODUCT}"
; An upgrade goes where the installed copy is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
Icon "${ICON}"
UninstallIcon "${ICON}"

; The entries of Kelvo.exe's own version block, which has no copyright.
!pragma warning disable 9100
VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "InternalName" "KelvoSetup"
VIAddVersionKey /LANG=1033 "OriginalFilename" "KelvoSetup.exe"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The installed files, as (folder under the install folder, file name); the
; one list both the installer and the uninstaller go through.
!macro ForEachInstalledFile ACTION
  !insertmacro ${ACTION} "" "Kelvo.exe"
  !insertmacro ${ACTION} "" "debug_message.exe"
  !insertmacro ${ACTION} "\runtime" "Orvane.dll"
!macroend

!macro InstallFile FOLDER NAME
  SetOutPath "$INSTDIR${FOLDER}"
  File "${STAGING}/${NAME}"
!macroend

!macro UninstallFile FOLDER NAME
  Delete "$INSTDIR${FOLDER}\${NAME}"
!macroend

; Stops the installer or uninstaller while Kelvo.exe runs.
!macro RefuseWhileKelvoRuns
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, \
    w "${INSTANCE_MUTEX}") p .r0'
  ${If} $0 != 0
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running. Close it and try again." \
      /SD IDOK
    Abort
  ${EndIf}
!macroend

; Stops with the error when the file operations before it set the error flag.
!macro AbortOnErrors TEXT
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
    Abort
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext current
  !insertmacro RefuseWhileKelvoRuns
FunctionEnd

Section "${PRODUCT}" SectionProduct
  ClearErrors
  !insertmacro ForEachInstalledFile InstallFile
  !insertmacro AbortOnErrors "${PRODUCT}'s files could not all be written to $INSTDIR."
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Kelvo.exe" "" \
    "$INSTDIR\Kelvo.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kelvo.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB: the installed files, as counted when the installer was built.
  SectionGetSize ${SectionProduct} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext current
  !insertmacro RefuseWhileKelvoRuns
FunctionEnd

Section "Uninstall"
  ClearErrors
  !insertmacro ForEachInstalledFile UninstallFile
  !insertmacro AbortOnErrors "${PRODUCT}'s files in $INSTDIR could not all be removed."
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Folders that still hold files the installer did not put there stay.
  RMDir "$INSTDIR\runtime"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
