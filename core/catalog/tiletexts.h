#pragma once

#include <QString>

// Every text a catalog tile shows, in one place, so the tile and its tests agree on them.
namespace TileText {

inline QString install()
{
    return QStringLiteral("安装");
}
inline QString upgrade()
{
    return QStringLiteral("升级");
}
inline QString unInstall()
{
    return QStringLiteral("卸载");
}
inline QString upToDate()
{
    return QStringLiteral("当前已是最新版本");
}

// Base texts of a running operation; the dot animation appends one to six dots.
inline QString installing()
{
    return QStringLiteral("安装中");
}
inline QString upgrading()
{
    return QStringLiteral("升级中");
}
inline QString unInstalling()
{
    return QStringLiteral("卸载中");
}

// Retry texts left on the operation's button after a failure.
inline QString createFileFailed()
{
    return QStringLiteral("创建文件失败");
}
inline QString downloadError()
{
    return QStringLiteral("下载错误");
}
inline QString downloadTooSmallInstall()
{
    return QStringLiteral("下载失败，重新安装");
}
inline QString downloadTooSmallUpgrade()
{
    return QStringLiteral("下载失败，重新升级");
}
inline QString installFailed()
{
    return QStringLiteral("安装失败,再次安装");
}
inline QString upgradeFailed()
{
    return QStringLiteral("安装失败,再次升级");
}
inline QString unInstallFailed()
{
    return QStringLiteral("卸载失败,再次卸载");
}

} // namespace TileText
