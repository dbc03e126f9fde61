# Writes a help project of COUNT topics into STAGE: large.hhp, toc.hhc and
# t0000.htm ... Every topic names its number in words the tests look for.
file(MAKE_DIRECTORY ${STAGE})
set(toc "<html><body><ul>\n")
set(files "")
math(EXPR last "${COUNT} - 1")
foreach(i RANGE ${last})
  string(LENGTH "${i}" digits)
  math(EXPR pad "4 - ${digits}")
  string(REPEAT "0" ${pad} zeros)
  set(name "t${zeros}${i}.htm")
  math(EXPR group "${i} % 97")
  # Every 300th topic has an accented word, which every topic's words
  # "cable" and "covers" start like.
  math(EXPR accented "${i} % 300")
  set(cafe "")
  if(accented EQUAL 0)
    set(cafe " A caf&#233; is near.")
  endif()
  file(WRITE ${STAGE}/${name}
    "<html><head><title>Topic ${i}</title></head><body><p>Topic number ${i} covers the serial port, "
    "group${group} and alpha${i}; the cable is described elsewhere.${cafe}</p></body></html>\n")
  string(APPEND toc "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Topic ${i}\">"
                    "<param name=\"Local\" value=\"${name}\"></object>\n")
  string(APPEND files "${name}\n")
endforeach()
string(APPEND toc "</ul></body></html>\n")
file(WRITE ${STAGE}/toc.hhc "${toc}")
file(WRITE ${STAGE}/large.hhp
  "[OPTIONS]\nCompiled file=large.chm\nContents file=toc.hhc\nDefault Window=main\nDefault topic=t0000.htm\n"
  "Full-text search=Yes\nBinary TOC=Yes\nLanguage=0x409 English\nTitle=Large help file\n\n"
  "[WINDOWS]\nmain=\"Large help file\",\"toc.hhc\",,\"t0000.htm\",\"t0000.htm\",,,,,0x2520,240,0x284E,[60,40,960,720],,,,,,,0\n\n"
  "[FILES]\n${files}")
