-- Uninstall script whose preparation fails as the shipped one does while the
-- game is running.
function Prepare()
    local text = localizer.GetString(1000001001)
    util.FailWithError(text, text, L"The game is running: Vekt.exe", 10232)
end

function Execute()
end
