# Script mode: cmake -DFIRMWARE_DIR=<folder> -DOUTPUT=<file.cpp> -P generate_real_images.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/firmware_images.cmake")
corvane_generate_real_images("${FIRMWARE_DIR}" "${OUTPUT}")
