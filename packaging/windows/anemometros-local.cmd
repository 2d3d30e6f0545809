@echo off
rem Abre a visao do local (anemometros --local) na pasta "station" desta pasta, onde fica
rem anemometros.ini.
cd /d "%~dp0station" || exit /b 1
start "" "%~dp0anemometros.exe" --local %*
