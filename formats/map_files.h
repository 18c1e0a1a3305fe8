// The two terrain maps as files: their names in the folder the program runs
// in and their size. The renderer, the map maker and the capture driver
// (which must never write over them) share these.
#ifndef FLYOVER_MAP_FILES_H
#define FLYOVER_MAP_FILES_H

constexpr int kMapSize = 500; // cells per side of both maps
constexpr const char kTextureFile[] = "texture.raw";
constexpr const char kHeightFile[] = "map.raw";

#endif
