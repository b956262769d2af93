#include "core/catalog/tilecontrols.h"

bool TileControls::operator==(const TileControls &other) const
{
    return installShown == other.installShown && upgradeShown == other.upgradeShown &&
        statusShown == other.statusShown && unInstallShown == other.unInstallShown &&
        installEnabled == other.installEnabled && upgradeEnabled == other.upgradeEnabled &&
        unInstallEnabled == other.unInstallEnabled && faceLaunches == other.faceLaunches;
}

TileControls tileControls(const TileState &state)
{
    const bool busy = state.installRunning || state.unInstallRunning;
    TileControls controls;
    controls.installShown = !state.installed;
    controls.upgradeShown = state.installed && state.needUpgrade;
    controls.statusShown = state.installed && !state.needUpgrade;
    controls.unInstallShown = state.installed;
    controls.installEnabled = !state.installRunning;
    controls.upgradeEnabled = !busy;
    controls.unInstallEnabled = !busy;
    controls.faceLaunches = state.installed;
    return controls;
}
