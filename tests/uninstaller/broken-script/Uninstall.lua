-- The small product's script with a syntax error: nothing of it may run.
Marker = { L"HKEY_CURRENT_USER\\Software\\OstrelTests\\SubProduct", L"Installed" }

function CheckApplicability()
    return true
end

function Prepare()
end

function Execute()
    uninstall.RemoveRegValue(Marker[1], Marker[2]
end
