@echo off
rem Runs Ostrivo's tests that need only Windows (7 to 11, nothing installed,
rem no administrator rights): unzip the test bundle anywhere and run this
rem file in a command prompt. One line for each test program, then the sums;
rem the exit code is 0 only when every program that ran passed.
rem
rem Every program runs through run-test.exe: on a desktop of its own (the
rem user's desktop is left alone), in a job that ends whatever it started,
rem and ended when it outlives its bound. Logs go to %TEMP%\ostrivo-tests;
rem nothing else is written and no setting is changed.
setlocal EnableExtensions EnableDelayedExpansion
cd /d "%~dp0"
set "logs=%TEMP%\ostrivo-tests"
if not exist "%logs%" mkdir "%logs%"
del /q "%logs%\*.log" 2>nul
set /a passed=0, failed=0, notrun=0
rem Each program's bound; a slower machine's runner may say how much slower
rem it is, as the tests' own bounds read it too.
set /a bound=900
if defined OSTRIVO_TIME_SCALE set /a bound=900*OSTRIVO_TIME_SCALE
set "failures="

call :run support_cstring_tests
call :run support_failure_tests
call :run kit_tests
call :run devices_entry_tests
call :run devices_enumeration_tests
call :run drives_tests
call :run app_hosting_tests
call :run app_main_tests
call :run resources_test
call :run ui_dialog_tests
call :run resilience_failed_walk_tests
call :run reliability_allocation_sweep_tests
call :run e2e_drive_lookup_tests
rem Its other tests add simulated devices (listed below).
set "GTEST_FILTER=MainDialog.ExitCodeFollowsTheWayOut"
call :run e2e_dialog_tests
set "GTEST_FILTER="
rem Its other test needs a Setup API that cannot be loaded (listed below).
set "GTEST_FILTER=PlantedDll.*-PlantedDll.MissingSetupApi*"
call :run e2e_planted_dll_tests
set "GTEST_FILTER="

call :notrun "e2e_dialog_tests' other tests" "administrator rights, to add simulated devices"
call :notrun "e2e_planted_dll_tests' Setup API test" "a Setup API that cannot be loaded, which Wine's loader settings give"
call :notrun devices_simulated_tests "administrator rights, to add simulated devices"
call :notrun resilience_odd_devices_tests "administrator rights, to add simulated devices"
call :notrun devices_testbus_tests "the test bus, a kernel driver the Wine harness installs"
call :notrun e2e_testbus_tests "the test bus, a kernel driver the Wine harness installs"
call :notrun ui_dpi_tests "a system DPI changed in the registry, for each of four scales"

if defined failures for %%f in (%failures%) do (
    echo.
    echo ----- %%f, from %logs%\%%f.log:
    type "%logs%\%%f.log"
)
echo.
echo !passed! passed, !failed! failed
echo !notrun! not run
if !failed! GTR 0 exit /b 1
exit /b 0

rem :run NAME - runs NAME.exe through run-test.exe within the bound.
:run
set "name=%~1"
if not exist "%name%.exe" goto missing
run-test.exe "%logs%\%name%.log" %bound% "%name%.exe"
set "code=%errorlevel%"
if "%code%"=="0" (
    set /a passed+=1
    echo ok       %name%
    goto :eof
)
set /a failed+=1
set "failures=!failures! %name%"
if "%code%"=="124" (
    echo FAIL     %name%: hung, ended after %bound% s
) else (
    echo FAIL     %name%: exit code %code%
)
goto :eof
:missing
set /a failed+=1
echo FAIL     %name%: %name%.exe is not in this folder
goto :eof

rem :notrun WHAT WHY
:notrun
set /a notrun+=1
echo not run: %~1: needs %~2
goto :eof
