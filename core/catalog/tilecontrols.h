#pragma once

// What a catalog tile's operations are doing for one application.
struct TileState
{
    bool installed = false;
    bool needUpgrade = false;
    bool installRunning = false; // the installer's download, or the installer itself
    bool unInstallRunning = false;
};

// Which of the tile's controls show, which take presses, and whether the icon, name and description
// start the program.
struct TileControls
{
    bool installShown = false;
    bool upgradeShown = false;
    bool statusShown = false;
    bool unInstallShown = false;
    bool installEnabled = false;
    bool upgradeEnabled = false;
    bool unInstallEnabled = false;
    bool faceLaunches = false;

    bool operator==(const TileControls &other) const;
};

// An absent application offers "安装", an installed one "升级" when its version differs, else the status
// "当前已是最新版本", and "卸载". One install or upgrade at a time, and neither beside the uninstall.
TileControls tileControls(const TileState &state);
