@echo off
rem Puts back what the last purge removed: CVPurger.exe /restore, which lies beside
rem this file, restores the newest receipt in %WINDIR%\CVPurger\Receipts and tells
rem what it did in a message box. Windows asks for an administrator first.
"%~dp0CVPurger.exe" /restore
