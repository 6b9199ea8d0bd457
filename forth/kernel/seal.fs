\ The end of the kernel: the dictionary pointers and the search order as
\ the kernel starts with them, and the image's start.
forth-wordlist current !
forth-wordlist voc-link !
forth-wordlist context !
1 #order !
' (no-catch) IS no-catch
' .error-code IS .message
' no-blocks IS block-source
' no-blocks IS next-block
forth-wordlist LINK-NAMES
' cold START!
code-here cp !
here dp !
