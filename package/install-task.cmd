@echo off
rem install-task.cmd N [USER]: registers the task "horax", which starts horax.exe N from
rem this folder 30 seconds after USER logs on (default: the user running this script), on
rem that user's desktop, with the highest privileges, without a time limit, on battery as on
rem mains, at normal priority. Registering it needs an elevated command prompt. The task
rem is written beside horax.exe as horax-task.xml; uninstall-task.cmd removes it again.
rem
rem Paths and names are taken while ! is no special character, and used only through
rem delayed expansion, so that spaces, &, %, ! or parentheses in them stay what they are.
setlocal DisableDelayedExpansion
set "port=%~1"
set "user=%~2"
set "extra=%~3"
set "here=%~dp0"
if not defined user set "user=%USERDOMAIN%\%USERNAME%"
rem In XML an ampersand is written as an entity; the other characters that XML reserves
rem cannot occur in a path or a user name.
set "xmlhere=%here:&=&amp;%"
set "xmluser=%user:&=&amp;%"
set "xml=%here%horax-task.xml"
setlocal EnableDelayedExpansion

set "valid="
for %%p in (1 2 3 4) do if "!port!"=="%%p" set "valid=1"
if defined extra set "valid="
if not defined valid (
  echo install-task: give the number of the COM port, 1 to 4, and, if the task is 1>&2
  echo for someone else, the user: 1>&2
  echo     install-task.cmd 2        COM2, for the user running this script 1>&2
  echo     install-task.cmd 2 NAME   COM2, for the user NAME 1>&2
  exit /b 2
)
if not exist "!here!horax.exe" (
  echo install-task: horax.exe is not in !here! 1>&2
  echo Run the copy of this script that lies beside horax.exe. 1>&2
  exit /b 1
)

rem Written as UTF-8, as the XML declares, so that letters beyond ASCII survive; the
rem console's code page is restored afterwards. Line by line, each appended.
set "codepage="
for /f "tokens=2 delims=:" %%c in ('chcp') do for /f "tokens=1 delims=. " %%d in ("%%c") do set "codepage=%%d"
chcp 65001 >nul
if exist "!xml!" del "!xml!"
>>"!xml!" echo ^<?xml version="1.0" encoding="UTF-8"?^>
>>"!xml!" echo ^<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"^>
>>"!xml!" echo   ^<RegistrationInfo^>
>>"!xml!" echo     ^<Description^>Sets the clock from the DCF77 receiver on COM!port!.^</Description^>
>>"!xml!" echo   ^</RegistrationInfo^>
>>"!xml!" echo   ^<Triggers^>
>>"!xml!" echo     ^<LogonTrigger^>
>>"!xml!" echo       ^<Enabled^>true^</Enabled^>
>>"!xml!" echo       ^<UserId^>!xmluser!^</UserId^>
rem A USB serial adapter may get its COM port only some seconds after the logon, and a
rem port that is not there yet would end horax at once.
>>"!xml!" echo       ^<Delay^>PT30S^</Delay^>
>>"!xml!" echo     ^</LogonTrigger^>
>>"!xml!" echo   ^</Triggers^>
>>"!xml!" echo   ^<Principals^>
>>"!xml!" echo     ^<Principal id="Author"^>
>>"!xml!" echo       ^<UserId^>!xmluser!^</UserId^>
>>"!xml!" echo       ^<LogonType^>InteractiveToken^</LogonType^>
>>"!xml!" echo       ^<RunLevel^>HighestAvailable^</RunLevel^>
>>"!xml!" echo     ^</Principal^>
>>"!xml!" echo   ^</Principals^>
>>"!xml!" echo   ^<Settings^>
>>"!xml!" echo     ^<MultipleInstancesPolicy^>IgnoreNew^</MultipleInstancesPolicy^>
>>"!xml!" echo     ^<DisallowStartIfOnBatteries^>false^</DisallowStartIfOnBatteries^>
>>"!xml!" echo     ^<StopIfGoingOnBatteries^>false^</StopIfGoingOnBatteries^>
>>"!xml!" echo     ^<ExecutionTimeLimit^>PT0S^</ExecutionTimeLimit^>
>>"!xml!" echo     ^<Priority^>4^</Priority^>
>>"!xml!" echo   ^</Settings^>
>>"!xml!" echo   ^<Actions Context="Author"^>
>>"!xml!" echo     ^<Exec^>
rem The Task Scheduler's pages do not say how Command and Arguments make the command line.
rem The path is quoted, so that one with spaces ends where CreateProcess needs to know it
rem ends; horax finds its port on the line either way. The working directory is a path
rem alone, and stays unquoted.
>>"!xml!" echo       ^<Command^>"!xmlhere!horax.exe"^</Command^>
>>"!xml!" echo       ^<Arguments^>!port!^</Arguments^>
>>"!xml!" echo       ^<WorkingDirectory^>!xmlhere!^</WorkingDirectory^>
>>"!xml!" echo     ^</Exec^>
>>"!xml!" echo   ^</Actions^>
>>"!xml!" echo ^</Task^>
if defined codepage chcp !codepage! >nul
if not exist "!xml!" (
  echo install-task: could not write !xml! 1>&2
  exit /b 1
)

"%SystemRoot%\System32\schtasks.exe" /create /tn horax /xml "!xml!" /f
if errorlevel 1 (
  echo install-task: the task was not registered. Registering it needs an elevated 1>&2
  echo command prompt: right-click Command Prompt, choose "Run as administrator", 1>&2
  echo and run this script from there. 1>&2
  exit /b 1
)
echo Registered the task "horax" for !user!.
echo 30 seconds after each logon of that user it starts, on that user's desktop,
echo     "!here!horax.exe" !port!
echo with the highest privileges, without a time limit, on battery as on mains.
echo To start it now, without logging on again:
echo     schtasks /run /tn horax
echo The task as registered is in "!xml!";
echo uninstall-task.cmd removes it.
exit /b 0
