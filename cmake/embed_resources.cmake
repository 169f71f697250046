# Writes a C++ source that holds the application's resource script and its
# header as text, so that the Linux build reads the very same .rc file that
# windres compiles for Windows. Invoked with -DRC=... -DHEADER=... -DOUT=...
function(tav_embed_text file symbol out_var)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(${out_var} "const char ${symbol}[] = {${bytes}0x00};\n" PARENT_SCOPE)
endfunction()

tav_embed_text("${RC}" kScript script)
tav_embed_text("${HEADER}" kHeader header)
file(WRITE "${OUT}.tmp"
"// Generated from the application's resource script; do not edit.\n"
"#include \"sim/formats/resources.h\"\n"
"namespace {\n${script}${header}}\n"
"namespace sim {\n"
"EmbeddedResources ApplicationResources() { return {kScript, kHeader}; }\n"
"}  // namespace sim\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
