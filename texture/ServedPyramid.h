// Pyramids served over HTTP, given in a picture's place: a TileJSON document (a URL, or a local
// .json file) with its tile URL templates, zoom range, tile size and bounds; an IIIF Image API
// service, version 2 or 3, by the URL of its info.json (static, level 0, services included); or a
// bare tile URL template with {z}, {x} and {y} ({-y} for rows counted from the bottom). Each is
// one more kind of TiledLevels, its tiles fetched through an HttpFetcher.
#pragma once

#include "HttpFetcher.h"
#include "TiledLevels.h"

#include <memory>
#include <string>

// Whether `argument` names a served pyramid: an http or https URL, or a file named .json.
bool isServedPyramid(const std::string& argument);

// The pyramid `argument` names, its document fetched (or read) and understood, no tile fetched;
// its button's `label`, the service's name or else its host. Nothing, and why, if it cannot be
// had or understood.
std::unique_ptr<TiledLevels> openServedPyramid(const std::string& argument, std::shared_ptr<HttpFetcher> fetcher, std::string& label, std::string& whyNot);
