# Script mode: copies a text file, ending every line with CR LF.
#   cmake -DINPUT=in.txt -DOUTPUT=out.txt -P CrlfText.cmake
file(READ "${INPUT}" content)
string(REPLACE "\r\n" "\n" content "${content}")
string(REPLACE "\n" "\r\n" content "${content}")
file(WRITE "${OUTPUT}" "${content}")
