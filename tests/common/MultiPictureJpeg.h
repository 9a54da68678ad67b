// Builds a multi-picture JPEG (MPO) from whole JPEG files: the first one gets an APP2 "MPF"
// segment whose index names every picture, the others follow it unchanged.
#pragma once
#include <vector>

std::vector<unsigned char> MakeMultiPictureJpeg(const std::vector<std::vector<unsigned char>>& pictures);
