// Pyramids of tiles given in a picture's place: a folder of tiles as gdal2tiles writes them (XYZ,
// {z}/{x}/{y}.png, .jpg or .webp, or TMS with its tilemapresource.xml, rows counted from the
// bottom), an MBTiles file (SQLite, read-only, rows counted from the bottom, every zoom level the
// whole world's grid), a Deep Zoom image (its .dzi file and its _files folder), or one served over
// HTTP (see ServedPyramid.h), fetched through one HttpFetcher the process shares, with its disk
// cache in the user's cache folder. Opening reads how the pyramid is laid out, and decodes no more
// than one tile.
#pragma once

#include "TiledLevels.h"

#include <memory>
#include <string>

// Whether `path` is given as a pyramid rather than a picture file: a folder, a file named
// .mbtiles, .dzi or .json, or an http or https URL.
bool isPyramid(const std::string& path);
// The pyramid at `path`; nothing, and why, if it is not one the viewer can read. A served one
// names its button in `label`; the others leave it as it is.
std::shared_ptr<const TiledLevels> openPyramid(const std::string& path, std::string& label, std::string& whyNot);

// Each kind, for openPyramid.
std::unique_ptr<TiledLevels> openTileFolder(const std::string& path, std::string& whyNot);
std::unique_ptr<TiledLevels> openMBTiles(const std::string& path, std::string& whyNot);
std::unique_ptr<TiledLevels> openDeepZoom(const std::string& path, std::string& whyNot);

// Shared by the kinds: the whole of a small file, or nothing and why.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& whyNot);
// The value of `attribute` in the first element named `element` of an XML text; empty if none.
std::string xmlAttribute(const std::string& text, const std::string& element, const std::string& attribute);
