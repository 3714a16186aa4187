# bramis_target_defaults(<target>): the warning set every target of ours compiles with.
function(bramis_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  else()
    # A switch that misses a kind (a stage or failure without words) does not build.
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror=switch)
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()
