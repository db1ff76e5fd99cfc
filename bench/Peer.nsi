; The bench's peer: the application tree as a portable launcher, made the way common portable-app
; builders make one. Solid LZMA; every start extracts everything into a fresh temporary folder,
; runs the program with the launcher's arguments, waits, removes the folder and ends with the
; program's exit code.
;
;   makensis -DTREE=DIR -DMAIN=Quorvell.exe -DOUTFILE=peer.exe Peer.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SilentInstall silent
RequestExecutionLevel user
AutoCloseWindow true
OutFile "${OUTFILE}"

!include FileFunc.nsh

Section
  InitPluginsDir
  SetOutPath "$PLUGINSDIR\app"
  File /r "${TREE}/*"
  ${GetParameters} $1
  ClearErrors
  ExecWait '"$PLUGINSDIR\app\${MAIN}" $1' $0
  IfErrors 0 +2
    StrCpy $0 1
  ; Leave the folder so that the temporary one can be removed at exit.
  SetOutPath "$TEMP"
  SetErrorLevel $0
SectionEnd
