@echo off
rem The folders and files of the Windows folder, and the text of its oem*.inf files, for
rem cvpurger-preview --listing (README.md, "Preview"). It reads and changes nothing else.
dir /s /b /a:d %WINDIR% > listing.txt
echo.>> listing.txt
dir /s /b /a:-d %WINDIR% >> listing.txt
for %%f in (%WINDIR%\inf\oem*.inf) do (echo.>> listing.txt& echo ===== %%f>> listing.txt& type %%f>> listing.txt)
