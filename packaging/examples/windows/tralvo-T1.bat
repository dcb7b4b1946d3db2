@echo off
rem Transfers the bookings of terminal T1; the task tralvo-T1.xml starts it
rem every five minutes. Keep it beside the programs in
rem %ProgramFiles%\tralvo, where only administrators can change what the
rem task runs.
rem
rem The batch file ends with the tool's exit status, so the task's Last Run
rem Result shows it, and writes an error to the Application event log when
rem it is not 0. Create the event source once, as an administrator:
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

"%ProgramFiles%\tralvo\tralvo.exe" T1 \\termserver\terminal\T1.txt zeit_T1.txt kst_T1.txt
if %ERRORLEVEL% NEQ 0 (
  eventcreate /T ERROR /ID 3 /L APPLICATION /SO tralvo /D "tralvo T1 ended with exit status %ERRORLEVEL%. Run tralvo-ini check as the task's account in C:\Quorvex\bin\transfer, then the run with /D." >nul
  exit /b %ERRORLEVEL%
)
exit /b 0
