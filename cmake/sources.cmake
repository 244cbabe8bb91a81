# Pure rules: Windows-free sources, built into the product and, natively, into
# the host test and benchmark programs. One line per file keeps additions apart.
set(KESTRELON_PURE_SOURCES)
list(APPEND KESTRELON_PURE_SOURCES app/Classify.cpp)
list(APPEND KESTRELON_PURE_SOURCES ui/FitGeometry.cpp)
list(APPEND KESTRELON_PURE_SOURCES ui/ControlBarGeometry.cpp)
list(APPEND KESTRELON_PURE_SOURCES image/NaturalOrder.cpp)
list(APPEND KESTRELON_PURE_SOURCES image/Orientation.cpp)
list(APPEND KESTRELON_PURE_SOURCES image/PrefetchOrder.cpp)
list(APPEND KESTRELON_PURE_SOURCES image/GifRules.cpp)
list(APPEND KESTRELON_PURE_SOURCES video/ContainerSniff.cpp)
list(APPEND KESTRELON_PURE_SOURCES video/Nv12.cpp)
list(APPEND KESTRELON_PURE_SOURCES image/ListingRules.cpp)
