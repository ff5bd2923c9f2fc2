# The page pictures: kel_artwork draws them (QPainter only) into the build
# tree at build time and writes pictures.qrc; rcc compiles them into kelpages
# under ":/png/" (in a cross build through the target's emulator). A page that needs a new picture adds it to the generator
# (resources/artwork/); see docs/pages.md.
# The drawings are a library of their own: the check of the page texts
# (tests/page_texts) draws them too, to read the words they carry.
file(GLOB KEL_ARTWORK_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/artwork/*.cpp ${CMAKE_SOURCE_DIR}/resources/artwork/*.h)
list(REMOVE_ITEM KEL_ARTWORK_SOURCES ${CMAKE_SOURCE_DIR}/resources/artwork/generate_pictures.cpp)
add_library(kelartwork STATIC ${KEL_ARTWORK_SOURCES})
target_link_libraries(kelartwork PUBLIC Qt5::Gui)
add_executable(kel_artwork ${CMAKE_SOURCE_DIR}/resources/artwork/generate_pictures.cpp)
target_link_libraries(kel_artwork PRIVATE kelartwork)
if(KEL_BUILD_FUZZ)
  # A build-time tool, not a harness: built without the fuzz build's sanitizers.
  foreach(target kelartwork kel_artwork)
    foreach(kind COMPILE LINK)
      get_target_property(options ${target} ${kind}_OPTIONS)
      if(options)
        list(REMOVE_ITEM options ${KEL_FUZZ_${kind}_OPTIONS})
        set_target_properties(${target} PROPERTIES ${kind}_OPTIONS "${options}")
      endif()
    endforeach()
  endforeach()
endif()

set(KEL_PICTURES_DIR ${CMAKE_BINARY_DIR}/resources)
add_custom_command(
  OUTPUT ${KEL_PICTURES_DIR}/qrc_png.cpp
  BYPRODUCTS ${KEL_PICTURES_DIR}/pictures.qrc ${KEL_PICTURES_DIR}/artwork_sheet.png
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kel_artwork>
          ${KEL_PICTURES_DIR}
  COMMAND Qt5::rcc --name png --output ${KEL_PICTURES_DIR}/qrc_png.cpp ${KEL_PICTURES_DIR}/pictures.qrc
  DEPENDS kel_artwork
  COMMENT "Drawing the page pictures"
  VERBATIM)
set_source_files_properties(${KEL_PICTURES_DIR}/qrc_png.cpp PROPERTIES GENERATED ON SKIP_AUTOGEN ON)
target_sources(kelpages PRIVATE ${KEL_PICTURES_DIR}/qrc_png.cpp)
