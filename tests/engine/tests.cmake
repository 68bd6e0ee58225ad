# The LibreOffice backend against real (private, headless) offices.
# Included from tests/CMakeLists.txt.
if(UNIX AND NOT APPLE)
  add_executable(office_holder ${CMAKE_CURRENT_LIST_DIR}/office_holder.cpp)
  target_link_libraries(office_holder PRIVATE marigal_engine_lo marigal_uno)
  marigal_add_test(engine_tests LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/lo_profile_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/lo_office_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/lo_render_test.cpp
    LIBS marigal_engine_lo marigal_uno marigal_sample_photos Qt6::Network)
  target_compile_definitions(engine_tests PRIVATE OFFICE_HOLDER="$<TARGET_FILE:office_holder>")
  add_dependencies(engine_tests office_holder)
  marigal_add_test(docbuild_tests LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/docbuild_test.cpp
    LIBS marigal_docbuild marigal_engine_lo marigal_uno)
  marigal_add_test(word_tests LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/lo_word_test.cpp
    LIBS marigal_docbuild marigal_engine_lo marigal_uno marigal_cardgen)
endif()
