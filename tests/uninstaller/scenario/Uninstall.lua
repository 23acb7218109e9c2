-- Uninstall script of the uninstaller's process tests. What it does comes from
-- the environment variable OSTREL_TEST_SCENARIO, so that one executable serves
-- every case.
Scenario = os.getenv("OSTREL_TEST_SCENARIO") or "success"

function Prepare()
    if Scenario == "fail-prepare" then
        util.FailWithError(L"Preparation failed", L"Failed", L"Preparation failed", 10232)
    end
end

-- A product as deployment tools remove it: the uninstaller's own files first,
-- as the packager lists an installed folder that holds them, then the folder
-- and the product's entry.
function RemoveDeployedProduct()
    local folder = L(os.getenv("OSTREL_TEST_PRODUCT_DIR"))
    for _, name in ipairs({L"BsSndRpt.exe", L"BugSplat.dll", L"BugSplatRC.dll", L"DBGHELP.dll",
                           L"ScenarioUninstaller.exe"}) do
        uninstall.RemoveFile(folder .. L"\\" .. name)
    end
    uninstall.RemoveDirectory(folder)
    uninstall.RemoveRegKey(L"HKEY_CURRENT_USER\\Software\\OstrelTests\\DeployedProduct")
end

-- Each report stays long enough for the quiet writer, which polls every 100 ms.
local function Report(done, text)
    progress.Report(done, 10000, text)
    util.Sleep(0.5)
end

function Execute()
    util.Sleep(0.5)
    if Scenario == "hold-lock" then
        -- Holds the install lock until the test opens the gate (a minute at most).
        local gate = L(os.getenv("OSTREL_TEST_LOCK_GATE") or "")
        for _ = 1, 600 do
            if util.IsFile(gate) then break end
            util.Sleep(0.1)
        end
    elseif Scenario == "fail-execute" then
        Report(2500, L"Working")
        util.FailWithError(L"Execution failed", L"Failed", L"Execution failed", 10233)
    elseif Scenario == "success" then
        Report(5000, L"Half")
        Report(5005, L"Half")
        Report(5011, L"Half")
        Report(5011, L"Two\nlines, a back\\slash and a\ttab")
        util.RecordError(L"First", L"First problem", L"First", 10301)
        util.RecordError(L"Second", L"Second\\problem", L"Second", 10302)
    elseif Scenario == "wide-text" then
        Report(5000, L"Omega \206\169 end")
    elseif Scenario == "query-msi" then
        util.IsMsiInstalled("{00000000-0000-0000-0000-000000000000}")
    end
    -- Every deployed product goes, so that a run that wrongly got this far
    -- (its preparation failed, or another install held the lock) shows.
    if os.getenv("OSTREL_TEST_PRODUCT_DIR") then
        RemoveDeployedProduct()
    end
end
