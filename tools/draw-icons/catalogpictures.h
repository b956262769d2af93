#pragma once

#include <QImage>
#include <QString>
#include <QVector>

// Icons of the applications in our catalog: a coloured rounded square with a white pictogram.
namespace CatalogPictures {

struct Picture
{
    QString fileName;
    QImage image;
};

// The built-in catalog's fourteen icons.
QVector<Picture> catalogIcons(int size);

// The three icons of the demo platform's catalog.
QVector<Picture> demoIcons(int size);

} // namespace CatalogPictures
