#pragma once

// A page that shows every widget of the kit in its states, with the message
// boxes and an open menu beside it, drawn into one picture so that a person
// can look at the kit before the main window exists.

#include <QImage>
#include <QMap>
#include <QRect>
#include <QString>

struct GalleryShot {
    QImage image;
    // Where some widgets landed in the picture, by name ("title", "toolbar",
    // "disabledButton", "table", "selectedRow", "informationBox", "warningBox",
    // "questionBox", "contentBox", "menu", ...).
    QMap<QString, QRect> regions;
};

// Builds the widgets, shows them offscreen (or on the display), grabs them
// and destroys them again. Needs a QApplication.
GalleryShot renderGallery();
