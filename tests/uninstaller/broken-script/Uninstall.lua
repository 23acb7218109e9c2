-- The small product's script with a syntax error: nothing of it may run.
function Execute()
    uninstall.RemoveRegValue(L"HKEY_CURRENT_USER\\Software\\OstrelTests\\SubProduct", L"Installed"
end
