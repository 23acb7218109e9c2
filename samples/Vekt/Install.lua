-- Install script of Vekt, run by the engine's script host from the folder
-- that the build lays out (the payload, the programs, the language package
-- and this script). The build puts the payload tables (PayloadDirectories,
-- PayloadFiles) and the payload's size (EstimatedSizeKB) in front of this
-- text. Everything the uninstaller removes is laid down here,
-- transactionally: a failure leaves the machine as it was.

Product = {
    Name = L"Vekt",
    Publisher = L"Brondel",
    Version = L"1.0.0",
    UninstallId = L"{5E1C2D7A-3B94-4F0E-9A61-7C2B8D40E913}",
    GameExplorerGuid = "{8F3A6B21-0C5D-4E7F-A1B2-93C4D5E6F708}",
    SoftwareKey = L"SOFTWARE\\Brondel\\Vekt",
    SavedGamesDir = L"My Games\\Vekt",
    Uninstaller = L"OstrelUninstaller.exe",
    LanguagePackage = "VektEnglish.msi",
}

UninstallKeyPath = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

function CheckApplicability()
    return true
end

local function Trace(text)
    debug.Print(L"Install: " .. text .. L"\n")
end

function Prepare()
    if not props.InstallDir then
        props.InstallDir = props.ProgramFilesDir .. L"\\" .. Product.Publisher .. L"\\" .. Product.Name
    end
end

local function Quoted(path)
    return L"\"" .. path .. L"\""
end

local function InstallPayload()
    local total = #PayloadDirectories + #PayloadFiles
    local done = 0
    install.CreateDirectoryTree(props.InstallDir)
    for _, path in ipairs(PayloadDirectories) do
        local text = localizer.GetFormattedString(1000001503, wstring.sub(path, 2))
        progress.StartStep(done, done + 1, total, text)
        install.CreateDirectory(props.InstallDir .. path)
        progress.EndStep()
        done = done + 1
    end
    for _, file in ipairs(PayloadFiles) do
        local text = localizer.GetFormattedString(1000001500, wstring.sub(file.path, 2))
        progress.StartStep(done, done + 1, total, text)
        install.CreateFile("payload\\" .. file.name, props.InstallDir .. file.path)
        progress.EndStep()
        done = done + 1
    end
end

local function InstallUninstaller()
    install.CreateFile("OstrelUninstaller.exe", props.InstallDir .. L"\\" .. Product.Uninstaller)
    install.CreateFile("Readme_en.txt", props.InstallDir .. L"\\Readme_en.txt")
end

local function WriteRegistry()
    local machineKey = L"HKEY_LOCAL_MACHINE\\" .. Product.SoftwareKey
    install.CreateRegKeyTree(machineKey .. L"\\Settings")
    install.SetRegValue(machineKey, L"InstallState", L"1")
    install.SetRegValue(machineKey, L"Version", Product.Version)
    install.SetRegValue(machineKey, L"Path", props.InstallDir)
    install.SetRegValue(machineKey .. L"\\Settings", L"Renderer", L"software")
    local userKey = L"HKEY_CURRENT_USER\\" .. Product.SoftwareKey
    install.CreateRegKeyTree(userKey)
    install.SetRegValue(userKey, L"Language", L"en")
end

local function WriteUninstallInfo()
    local uninstaller = props.InstallDir .. L"\\" .. Product.Uninstaller
    install.AddUninstallInfo(Product.UninstallId, Product.Name, Quoted(uninstaller), props.InstallDir,
                             Product.Publisher, Product.Version)
    local entry = UninstallKeyPath .. Product.UninstallId
    -- Bulk-removal tools and package managers look for the silent form.
    install.SetRegValue(entry, L"QuietUninstallString", Quoted(uninstaller) .. L" quiet")
    -- The list of installed programs offers only removal, and shows the size.
    install.SetRegDwordValue(entry, L"NoModify", 1)
    install.SetRegDwordValue(entry, L"NoRepair", 1)
    install.SetRegDwordValue(entry, L"EstimatedSize", EstimatedSizeKB)
end

local function CreateShortcuts()
    local game = props.InstallDir .. L"\\Vekt.exe"
    install.CreateShortcut(props.CommonDesktopDir .. L"\\" .. Product.Name .. L".lnk", game,
                           props.InstallDir, L"", L"Play Vekt", game, 0)
    local menuDir = props.CommonProgramsDir .. L"\\" .. Product.Publisher .. L"\\" .. Product.Name
    install.CreateDirectoryTree(menuDir)
    install.CreateShortcut(menuDir .. L"\\" .. Product.Name .. L".lnk", game, props.InstallDir, L"",
                           L"Play Vekt", game, 0)
    local uninstaller = props.InstallDir .. L"\\" .. Product.Uninstaller
    install.CreateShortcut(menuDir .. L"\\" .. localizer.GetString(1000001003) .. L".lnk", uninstaller,
                           props.InstallDir, L"", L"", uninstaller, 0)
    local readme = props.InstallDir .. L"\\Readme_en.txt"
    install.CreateShortcut(menuDir .. L"\\" .. localizer.GetString(1000001004) .. L".lnk", readme,
                           props.InstallDir, L"", L"", L"", 0)
end

local function RegisterWithSystem()
    local game = props.InstallDir .. L"\\Vekt.exe"
    install.AddGameExplorerInfo(Product.GameExplorerGuid, game, props.InstallDir)
    install.AddGameExplorerPlayTask(Product.GameExplorerGuid, L"Play", 0, game, props.InstallDir, L"")
    install.AddGameExplorerSupportTask(Product.GameExplorerGuid, L"Readme", 0,
                                       props.InstallDir .. L"\\Readme_en.txt")
    install.AddAppToFirewall(game, L"Vekt")
    install.AddAppToFirewall(props.InstallDir .. L"\\VektServer.exe", L"Vekt Server")
end

local function InstallLanguagePackage()
    util.InstallMsi(util.UnpackTempFile(Product.LanguagePackage), L"")
end

local function CreateSavedGames()
    local folder = props.PersonalDir .. L"\\" .. Product.SavedGamesDir
    install.CreateDirectoryTree(folder)
    install.CreateFile("saves\\slot1.sav", folder .. L"\\slot1.sav")
end

function Execute()
    progress.StartStep(0, 80, 100, L"")
    Trace(L"copying files")
    InstallPayload()
    InstallUninstaller()
    progress.EndStep()
    progress.StartStep(80, 100, 100, L"")
    Trace(L"registering")
    WriteRegistry()
    WriteUninstallInfo()
    CreateShortcuts()
    RegisterWithSystem()
    InstallLanguagePackage()
    CreateSavedGames()
    progress.EndStep()
    Trace(L"done")
end
