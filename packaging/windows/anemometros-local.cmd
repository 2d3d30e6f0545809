@echo off
rem Abre a visao do local (anemometros --local) na pasta "station" desta pasta, onde fica
rem anemometros.ini.
cd /d "%~dp0station"
if not exist ConfigALL.txt (
    echo anemometros: falta o arquivo ConfigALL.txt na pasta "%~dp0station"
    pause
    exit /b 1
)
start "" "%~dp0anemometros.exe" --local %*
