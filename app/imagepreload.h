#pragma once

class QStringList;

// Decoding the window's images takes a good part of the time to its first paint, and the
// first image read of a process also loads every installed image-format plugin (each one is
// asked whether it reads PNG) with the libraries they need.
//
// preloadImages() decodes the given PNG files (resource paths such as ":/logo.png") on a pool
// thread while the window is being built. The first read of each of those paths through the
// toolkit's image reader - the style sheets' pixmap loads - then takes the decoded image,
// waiting for it if need be, and asks no plugin. Any other read, and any later read of the
// same path, goes the toolkit's usual way. Call it once the application object exists.
void preloadImages(const QStringList &paths);
