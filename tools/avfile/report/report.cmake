# `avfile report`: its sources, the page's files built in, and OpenSSL's
# libcrypto for the check sums (found by the includer). Included where the
# avfile program is made.
include(${PROJECT_SOURCE_DIR}/cmake/embed_assets.cmake)
target_sources(avfile PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../cmd_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../report_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../report_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../report_videos.cpp)
avfile_embed_assets(TARGET avfile HEADER report_assets.h SYMBOL kReportAssets
  FILES ${CMAKE_CURRENT_LIST_DIR}/index.html ${CMAKE_CURRENT_LIST_DIR}/report.css ${CMAKE_CURRENT_LIST_DIR}/report.js)
target_link_libraries(avfile PRIVATE OpenSSL::Crypto)
target_compile_definitions(avfile PRIVATE AVFILE_REPORT_PROGRAM_VERSION="${PROJECT_VERSION}")
