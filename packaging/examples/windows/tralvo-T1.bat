@echo off
rem Feeds the bookings terminal T1 delivers and hands their records over into
rem C:\Quorvex\outbox, where the importer collects them; the task
rem tralvo-T1.xml starts it every five minutes. Keep it beside the programs
rem in %ProgramFiles%\tralvo, where only administrators can change what the
rem task runs.
rem
rem tralvo-run only reads the booking file, feeds each booking once and keeps
rem two runs of one terminal apart by itself (status 75). The batch file
rem ends with its exit status, so the task's Last Run Result shows it, and
rem writes an error to the Application event log when it is not 0 (65: lines
rem set aside under rejected\, see the guide). Create the event source once,
rem as an administrator:
rem   eventcreate /T INFORMATION /ID 1 /L APPLICATION /SO tralvo /D "tralvo event source"
rem
rem Test the status with "if %ERRORLEVEL% NEQ 0", never with
rem "if errorlevel 1": that means "1 or more" and takes the status -1 of a
rem command-line error for success. A %ERRORLEVEL% inside a block is read
rem once, when cmd reads the whole if command, so it keeps the tool's status
rem after eventcreate ran.
rem
rem A task running as SYSTEM sees no mapped drive letters: give the booking
rem file as a UNC path.
setlocal

cd /d C:\Quorvex\bin\transfer
if %ERRORLEVEL% NEQ 0 (
  eventcreate /T ERROR /ID 2 /L APPLICATION /SO tralvo /D "tralvo T1: the working directory C:\Quorvex\bin\transfer cannot be entered" >nul
  exit /b %ERRORLEVEL%
)

"%ProgramFiles%\tralvo\tralvo-run.exe" T1 \\termserver\terminal\T1.txt C:\Quorvex\outbox
if %ERRORLEVEL% NEQ 0 (
  eventcreate /T ERROR /ID 3 /L APPLICATION /SO tralvo /D "tralvo-run T1 ended with exit status %ERRORLEVEL%. See the guide; run tralvo-ini check as the task's account in C:\Quorvex\bin\transfer, then the run with /D." >nul
  exit /b %ERRORLEVEL%
)
exit /b 0
