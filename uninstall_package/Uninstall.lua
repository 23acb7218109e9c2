-- Uninstall script of Vekt. Runs inside OstrelUninstaller; the engine calls
-- Prepare on the main thread and Execute on the installer's worker thread.

LocID = {
    GAME_IS_RUNNING = 1000001001,
    UNINSTALL_INFO_NOT_FOUND = 1000001002,
    UNINSTALL_SHORCUT = 1000001003,
    README_SHORTCUT = 1000001004,
    CREATE_FILE_ID = 1000001500,
    REMOVE_FILE_ID = 1000001501,
    PATCH_FILE_ID = 1000001502,
    CREATE_DIR_ID = 1000001503,
    REMOVE_DIR_ID = 1000001504,
}

Product = {
    Name = L"Vekt",
    Publisher = L"Brondel",
    Executable = L"Vekt.exe",
    ServerExecutable = L"VektServer.exe",
    UninstallId = L"{5E1C2D7A-3B94-4F0E-9A61-7C2B8D40E913}",
    GameExplorerGuid = "{8F3A6B21-0C5D-4E7F-A1B2-93C4D5E6F708}",
    SoftwareKey = L"SOFTWARE\\Brondel\\Vekt",
    PublisherKey = L"SOFTWARE\\Brondel",
    SavedGamesDir = L"My Games\\Vekt",
}

UninstallKeyPath = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

InstallStateValues = {
    { L"HKEY_LOCAL_MACHINE\\" .. Product.SoftwareKey, L"InstallState" },
    { L"HKEY_LOCAL_MACHINE\\" .. Product.SoftwareKey, L"Version" },
}

-- RemovedFiles and RemovedDirectories, the files and folders the installer
-- wrote (relative to the installation folder, one progress unit each), are
-- generated from the game's payload at build time and put in front of this
-- script.

LanguageProducts = {
    "{2C7D9E41-6A3B-4C8D-B5E2-1F0A9B8C7D61}",
}

Languages = { L"en" }

-- Folders that the game or the language packages may leave behind.
LeftoverDirectories = {
    L"\\logs",
    L"\\cache",
    L"\\Language\\en",
    L"\\Language",
}

function CheckApplicability()
    return true
end

local function Trace(text)
    debug.Print(L"Uninstall: " .. text .. L"\n")
end

function Prepare()
    if util.IsProcessRunning(Product.Executable) then
        local text = localizer.GetString(LocID.GAME_IS_RUNNING)
        util.FailWithError(text, text, L"The game is running: " .. Product.Executable, 10232)
    end
    local key = UninstallKeyPath .. Product.UninstallId
    if not util.IsRegValue(key, L"InstallLocation") then
        local text = localizer.GetString(LocID.UNINSTALL_INFO_NOT_FOUND)
        util.FailWithError(text, text, L"Uninstall information not found: " .. key, 10233)
    end
    local installDir = util.GetRegValue(key, L"InstallLocation")
    -- Installers often end the folder with a backslash; every path below adds
    -- its own, and a folder path with an empty component is refused.
    if wstring.sub(installDir, -1) == L"\\" then
        installDir = wstring.sub(installDir, 1, -2)
    end
    props.InstallDir = installDir
end

local function WithoutLeadingBackslash(path)
    return wstring.sub(path, 2)
end

local function RemoveInstallStateValues()
    for _, entry in ipairs(InstallStateValues) do
        if util.IsRegValue(entry[1], entry[2]) then
            uninstall.RemoveRegValue(entry[1], entry[2])
        end
    end
end

local function RemoveShortcuts()
    local uninstallLink = localizer.GetString(LocID.UNINSTALL_SHORCUT) .. L".lnk"
    local readmeLink = localizer.GetString(LocID.README_SHORTCUT) .. L".lnk"
    uninstall.RemoveFile(props.CommonDesktopDir .. L"\\" .. Product.Name .. L".lnk")
    local menuDir = props.CommonProgramsDir .. L"\\" .. Product.Publisher .. L"\\" .. Product.Name
    uninstall.RemoveFile(menuDir .. L"\\" .. Product.Name .. L".lnk")
    uninstall.RemoveFile(menuDir .. L"\\" .. uninstallLink)
    uninstall.RemoveFile(menuDir .. L"\\" .. readmeLink)
    if util.IsDirectory(menuDir) then
        uninstall.RemoveDirectoryTree(menuDir, props.CommonProgramsDir)
    end
    local mediaCenterDir = props.CommonProgramsDir .. L"\\Accessories\\Media Center\\Media Center Programs\\" .. Product.Name
    if util.IsDirectory(mediaCenterDir) then
        uninstall.RemoveDirectoryTree(mediaCenterDir, props.CommonProgramsDir)
    end
end

local function TotalWeight()
    local total = 0
    for _, entry in ipairs(RemovedFiles) do total = total + entry.weight end
    for _, entry in ipairs(RemovedDirectories) do total = total + entry.weight end
    return total
end

local function RemoveInstalledItems()
    local total = TotalWeight()
    local done = 0
    progress.StartStep(0, total, total, L"")
    for _, entry in ipairs(RemovedFiles) do
        local text = localizer.GetFormattedString(LocID.REMOVE_FILE_ID, WithoutLeadingBackslash(entry.path))
        progress.StartStep(done, done + entry.weight, total, text)
        uninstall.RemoveFile(props.InstallDir .. entry.path)
        progress.EndStep()
        done = done + entry.weight
    end
    for _, entry in ipairs(RemovedDirectories) do
        local text = localizer.GetFormattedString(LocID.REMOVE_DIR_ID, WithoutLeadingBackslash(entry.path))
        progress.StartStep(done, done + entry.weight, total, text)
        uninstall.RemoveDirectory(props.InstallDir .. entry.path)
        progress.EndStep()
        done = done + entry.weight
    end
    progress.EndStep()
end

local function ParentOf(path)
    local parent = wstring.gsub(path, L"\\[^\\]*$", L"")
    return parent
end

local function LastComponent(path)
    local last = wstring.gsub(path, L"^.*\\", L"")
    return last
end

local function RemoveInstallFolders()
    for _, dir in ipairs(LeftoverDirectories) do
        if util.IsDirectory(props.InstallDir .. dir) then
            uninstall.RemoveDirectory(props.InstallDir .. dir)
        end
    end
    for _, language in ipairs(Languages) do
        uninstall.RemoveFile(props.InstallDir .. L"\\Readme_" .. language .. L".txt")
    end
    uninstall.RemoveDirectory(props.InstallDir)
    local parent = ParentOf(props.InstallDir)
    if wstring.upper(LastComponent(parent)) == wstring.upper(Product.Publisher) then
        uninstall.StartSuppressWarnings()
        uninstall.RemoveDirectory(parent)
        uninstall.EndSuppressWarnings()
    end
end

local function RemoveProductKeys()
    uninstall.ClearAndRemoveRegKey(L"HKEY_LOCAL_MACHINE\\" .. Product.SoftwareKey)
    uninstall.RemoveRegKeyTree(L"HKEY_LOCAL_MACHINE\\" .. Product.PublisherKey, L"HKEY_LOCAL_MACHINE\\SOFTWARE")
    uninstall.ClearAndRemoveRegKey(L"HKEY_CURRENT_USER\\" .. Product.SoftwareKey)
    uninstall.RemoveRegKeyTree(L"HKEY_CURRENT_USER\\" .. Product.PublisherKey, L"HKEY_CURRENT_USER\\SOFTWARE")
end

local function RemovePersonalData()
    if props.DeletePersonalDir and props.PersonalDir then
        uninstall.ClearAndRemoveDirectory(props.PersonalDir .. L"\\" .. Product.SavedGamesDir)
        uninstall.ClearAndRemoveDirectory(props.CommonAppDataDir .. L"\\" .. Product.Publisher .. L"\\" .. Product.Name)
    end
end

function Execute()
    Trace(L"removing install state")
    RemoveInstallStateValues()
    uninstall.RemoveGameExplorerInfo(Product.GameExplorerGuid)
    uninstall.RemoveAppFromFirewall(props.InstallDir .. L"\\" .. Product.Executable)
    uninstall.RemoveAppFromFirewall(props.InstallDir .. L"\\" .. Product.ServerExecutable)
    Trace(L"removing shortcuts")
    RemoveShortcuts()
    Trace(L"removing files")
    RemoveInstalledItems()
    uninstall.RemoveUninstallInfo(Product.UninstallId)
    for _, code in ipairs(LanguageProducts) do
        util.UninstallMsiByID(code, true, true)
    end
    uninstall.RemoveFile(props.InstallDir .. L"\\OstrelUninstaller.exe")
    RemoveInstallFolders()
    RemoveProductKeys()
    RemovePersonalData()
    Trace(L"done")
end
