#pragma once

#include <QObject>
#include <QString>

class QJsonObject;

// One catalog entry: an application of ours that the page offers.
class ProductInfo : public QObject
{
    Q_OBJECT
public:
    explicit ProductInfo(QObject *parent = nullptr);

    // Reads the string keys of an app-init catalog entry; a value of another type reads as "". An
    // "sha256" that is not 64 hex digits (spaces around them aside) is logged and left out.
    static ProductInfo *fromJson(const QJsonObject &object);

    QString iconUrl; // address of the icon image; empty for built-in entries
    QString iconName; // file name inside the icon folder
    QString downloadUrl; // address of the installer
    QString zhName; // display name
    QString zhDesc; // one-line description
    QString version; // four-part version, compared for equality with the installed one
    QString pathName; // subkey name in the uninstall registry
    QString productId; // product identifier
    QString sha256; // the installer's SHA-256 in lower-case hex; empty when the catalog gives none
};
