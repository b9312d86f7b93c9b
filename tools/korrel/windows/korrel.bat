@echo off
rem Runs korrel with the same arguments and keeps its console open until a key is pressed.
"%~dp0korrel.exe" %*
echo.
pause
