@echo off
rem uninstall-task.cmd: removes the task "horax" that install-task.cmd registered, and the
rem copy of it that install-task.cmd left beside horax.exe. Needs an elevated command prompt.
setlocal DisableDelayedExpansion
set "xml=%~dp0horax-task.xml"
setlocal EnableDelayedExpansion

"%SystemRoot%\System32\schtasks.exe" /delete /tn horax /f
if errorlevel 1 (
  echo uninstall-task: the task "horax" was not removed: it is not registered, 1>&2
  echo or this command prompt is not elevated. 1>&2
  exit /b 1
)
if exist "!xml!" del "!xml!"
echo Removed the task "horax": horax no longer starts at logon.
exit /b 0
