# lumetra_stdcall_exports(target): a 32-bit DLL exports its stdcall functions
# under their plain names, as its .def file lists them (the x86_64 build has
# no decoration to strip).
function(lumetra_stdcall_exports target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,--kill-at,--enable-stdcall-fixup)
  endif()
endfunction()
