-- Uninstall script of the dialog tests and the screenshots: the bar stops at
-- 0.49995 until the test's go-ahead file exists (named by the environment
-- variable OSTREL_DIALOG_TEST_GATE), the saved games go only when the user
-- ticked the box, and two problems are recorded for the problems list.
SavedGamesDir = props.PersonalDir .. L"\\OstrelTests\\DialogSavedGames"
ProblemFile = L"Unable to delete file \"C:\\Games\\Vekt\\Vekt.dat\""
ProblemFolder = L"Unable to remove folder \"C:\\Games\\Vekt\\data\""

function Prepare()
end

local function WaitForGoAhead()
    local gate = os.getenv("OSTREL_DIALOG_TEST_GATE")
    while gate do
        local file = io.open(gate, "r")
        if file then
            file:close()
            return
        end
        util.Sleep(0.02)
    end
end

function Execute()
    progress.Report(9999, 20000, L"Halfway")
    WaitForGoAhead()
    if props.DeletePersonalDir then
        uninstall.ClearAndRemoveDirectory(SavedGamesDir)
    end
    util.RecordError(L"The file could not be removed.", ProblemFile, L"File kept", 10301)
    util.RecordError(L"The folder could not be removed.", ProblemFolder, L"Folder kept", 10302)
end
