# Prints, and records in OUT, the size and SHA-256 of each file embedded in TARGET.
set(report "Resources embedded in ${TARGET}:\n")
foreach(file IN LISTS FILES)
    file(SIZE "${file}" size)
    file(SHA256 "${file}" hash)
    string(APPEND report "  ${hash}  ${size} bytes  ${file}\n")
endforeach()
message("${report}")
file(WRITE "${OUT}" "${report}")
