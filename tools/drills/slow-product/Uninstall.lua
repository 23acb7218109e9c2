-- Uninstall script of the drills' slow product: a folder of files removed one
-- by one with a pause between them, so that a drill can end the quiet copy
-- halfway. The drill installs the product by hand: the files, this
-- uninstaller with its crash-reporter files, and the registry key that names
-- the folder.
Key = L"HKEY_CURRENT_USER\\Software\\OstrelSlowProduct"

Files = {
    L"01.dat", L"02.dat", L"03.dat", L"04.dat", L"05.dat", L"06.dat", L"07.dat", L"08.dat",
    L"09.dat", L"10.dat", L"11.dat", L"12.dat", L"13.dat", L"14.dat", L"15.dat", L"16.dat",
    L"17.dat", L"18.dat", L"19.dat", L"20.dat", L"21.dat", L"22.dat", L"23.dat", L"24.dat",
    L"25.dat", L"26.dat", L"27.dat", L"28.dat", L"29.dat", L"30.dat", L"31.dat", L"32.dat",
    L"33.dat", L"34.dat", L"35.dat", L"36.dat", L"37.dat", L"38.dat", L"39.dat", L"40.dat",
    L"SlowUninstaller.exe", L"BsSndRpt.exe", L"BugSplat.dll", L"BugSplatRC.dll", L"DBGHELP.dll",
}

function CheckApplicability()
    return true
end

function Prepare()
    if not util.IsRegValue(Key, L"Path") then
        util.FailWithError(L"The product is not installed", L"Failed", L"No product folder", 10233)
    end
    props.InstallDir = util.GetRegValue(Key, L"Path")
end

function Execute()
    for index, name in ipairs(Files) do
        progress.Report(index - 1, #Files, name)
        uninstall.RemoveFile(props.InstallDir .. L"\\" .. name)
        util.Sleep(0.1)
    end
    uninstall.RemoveDirectory(props.InstallDir)
    uninstall.RemoveRegValue(Key, L"Path")
    uninstall.RemoveRegKey(Key)
    progress.Report(#Files, #Files, L"")
end
