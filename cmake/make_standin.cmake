# Writes a stand-in payload file: a line saying what it stands for, then deterministic filler up
# to SIZE bytes. Real payload files replace these through QUILLMERE_PAYLOAD_DIR.
set(header "Quillmere stand-in for ${NAME}: not a real file; the cabinet simulator accepts it.\n")
string(LENGTH "${header}" header_length)
math(EXPR filler_length "${SIZE} - ${header_length}")
set(unit "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_\n")
math(EXPR repeats "${filler_length} / 64 + 1")
string(REPEAT "${unit}" ${repeats} filler)
string(SUBSTRING "${filler}" 0 ${filler_length} filler)
file(WRITE "${OUT}" "${header}${filler}")
