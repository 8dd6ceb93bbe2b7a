# Export table of the shared library: exactly the AVFILE_ names.
function(avfile_shared_library_exports target)
  if(WIN32)
    # A module definition file lists the decorated stdcall names; --kill-at
    # exports them undecorated. The import library comes from dlltool, so
    # that stdcall callers (which reference name@N) link against it.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(def ${CMAKE_SOURCE_DIR}/src/interface/avfile_vsk_x86.def)
    else()
      set(def ${CMAKE_SOURCE_DIR}/src/interface/avfile_vsk.def)
    endif()
    target_link_options(${target} PRIVATE ${def} -Wl,--kill-at)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${def})
    if(CMAKE_DLLTOOL)
      set(dlltool ${CMAKE_DLLTOOL})
    else()
      string(REGEX REPLACE "g\\+\\+$" "dlltool" dlltool ${CMAKE_CXX_COMPILER})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${dlltool} -d ${def} -D libavfile_vsk.dll -k
              -l ${CMAKE_CURRENT_BINARY_DIR}/libavfile_vsk.dll.a
      COMMENT "import library for stdcall callers")
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${CMAKE_SOURCE_DIR}/src/interface/avfile_vsk.map
      -Wl,--no-undefined)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS
      ${CMAKE_SOURCE_DIR}/src/interface/avfile_vsk.map)
  endif()
endfunction()
