# Sourced by the Windows test runners: a Wine prefix of a test's own, from the prepared template.

# make_prefix DIR: DIR becomes a copy of $TESSALY_WINE_TEMPLATE. Hard links keep the copy cheap; the
# registry files, which Wine rewrites, are copied for real.
make_prefix() {
    if [ ! -f "$TESSALY_WINE_TEMPLATE/system.reg" ]; then
        echo "no prepared Wine prefix at $TESSALY_WINE_TEMPLATE (scripts/windows test makes it)" >&2
        return 1
    fi
    rm -rf "$1" && mkdir -p "$(dirname "$1")" && cp -al "$TESSALY_WINE_TEMPLATE" "$1" || return 1
    local reg
    for reg in system.reg user.reg userdef.reg; do
        cp --remove-destination "$TESSALY_WINE_TEMPLATE/$reg" "$1/$reg" || return 1
    done
}

# end_prefix DIR: ends every process still running in the prefix and removes it.
end_prefix() {
    WINEPREFIX=$1 wineserver -k 2>/dev/null
    WINEPREFIX=$1 wineserver -w 2>/dev/null
    rm -rf "$1"
}
