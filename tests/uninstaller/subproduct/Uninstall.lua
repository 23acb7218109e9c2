-- Uninstall script of a second, small product of the tests: it removes one
-- registry value, so that a test sees whether the script ran to its end.
Marker = { L"HKEY_CURRENT_USER\\Software\\OstrelTests\\SubProduct", L"Installed" }

function Prepare()
end

function Execute()
    progress.Report(1, 2, L"Removing the product")
    util.Sleep(0.5)
    if util.IsRegValue(Marker[1], Marker[2]) then
        uninstall.RemoveRegValue(Marker[1], Marker[2])
    end
    progress.Report(2, 2, L"")
end
