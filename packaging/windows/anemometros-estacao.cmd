@echo off
rem Abre o programa da estacao na pasta "station" desta pasta, onde ficam ConfigALL.txt,
rem os registros StatusLOGn.txt, IMAGES e HELP.
cd /d "%~dp0station"
if not exist ConfigALL.txt (
    echo anemometros: falta o arquivo ConfigALL.txt na pasta "%~dp0station"
    pause
    exit /b 1
)
start "" "%~dp0anemometros.exe" %*
