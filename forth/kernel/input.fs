\ Input sources and parsing.

: source     ( -- c-addr u )  src 2@ ;
: source-id  ( -- 0 | -1 | fileid )  src-id @ ;
: /source    ( -- c-addr u )  source >in @ over min /string ;

: skip-blanks ( c-addr1 u1 -- c-addr2 u2 )
  begin dup while over c@ bl u> 0= while 1 /string repeat then ;
: scan-blank ( c-addr1 u1 -- c-addr2 u2 )
  begin dup while over c@ bl u> while 1 /string repeat then ;
: scan       ( c-addr1 u1 char -- c-addr2 u2 )   \ to the first char, or the end
  >r begin dup while over c@ r@ <> while 1 /string repeat then rdrop ;

: parse      ( char "ccc<char>" -- c-addr u )
  >r /source over swap r> scan >r over - dup r> if 1+ then >in +! ;
: parse-name ( "<spaces>name<space>" -- c-addr u )
  /source skip-blanks over >r scan-blank
  over source drop - swap if 1+ then >in !  r> tuck - ;
: skip-char  ( char -- )
  >r /source begin dup while over c@ r@ = while 1 /string repeat then
  drop source drop - >in !  rdrop ;
: word       ( char "<chars>ccc<char>" -- c-addr )
  dup bl = if drop parse-name else dup skip-char parse then
  255 min word-buffer place  bl word-buffer count + c!  word-buffer ;
: char       ( "<spaces>name" -- char )  parse-name drop c@ ;

\ The terminal
: query      ( -- )  tib dup /tib accept src 2!  0 >in !  1 line# +! ;

\ Files. A fileid is the host's handle; names go to the host NUL-terminated.
0         CONSTANT r/o
$C0000000 CONSTANT r/w
$40000000 CONSTANT w/o
: >x         ( addr -- xaddr )  (>x) throw ;
: p>x        ( paddr -- xaddr )  (p>x) throw ;
: >zname     ( c-addr u -- zaddr )  255 min >r zname r@ move  0 zname r> + c!  zname ;
: file-throw ( c-addr u ior -- )   \ throws ior, naming the file
  ?dup if record-error >r err-word 2! r> rethrow then 2drop ;

: open-file  ( c-addr u fam -- fileid ior )  >r >zname 0 r> (fopen) dup if 0 swap then ;
: create-file ( c-addr u fam -- fileid ior )  drop >zname 0 (fcreate) dup if 0 swap then ;
: close-file ( fileid -- ior )  (fclose) ;
: file-position ( fileid -- ud ior )  (fpos@) dup if 0 0 rot then ;
: reposition-file ( ud fileid -- ior )  0 swap (fpos!) ;
: read-file  ( c-addr u1 fileid -- u2 ior )  >r >r >x r> r> (fread) dup if 0 swap then ;
: write-file ( c-addr u fileid -- ior )  >r >r >x r> r> (fwrite) ;

\ READ-LINE reads one more byte than the line may hold, finds the line end,
\ and moves the file position to just after it.
: strip-cr   ( c-addr u -- u' )  dup if 2dup + 1- c@ #cr = if 1- then then nip ;
: line-end   ( c-addr n -- u consumed )   \ the line in n bytes read, and the bytes it used
  2dup #lf scan nip ?dup if - dup 1+ >r strip-cr r> exit then
  nip rl-max @ min dup ;
: read-line  ( c-addr u1 fileid -- u2 flag ior )
  rl-fid ! rl-max !
  rl-fid @ file-position ?dup if >r 2drop drop 0 false r> exit then drop rl-pos !
  dup rl-max @ 1+ rl-fid @ read-file ?dup if >r 2drop 0 false r> exit then
  dup 0= if nip false 0 exit then
  tuck line-end rot over <> if
    rl-pos @ + 0 rl-fid @ reposition-file ?dup if nip 0 false rot exit then
  else drop then
  true 0 ;

\ The file being included reads its lines into its own slot.
: file-slot  ( n -- addr )  /file-slot * file-slots + ;
: name-slot  ( n -- c-addr )  file-slot /line 2 + + ;
: refill-file ( -- flag )
  file-depth @ 1- file-slot dup /line src-id @ read-line ?dup if src-name 2@ rot file-throw then
  if src 2! 0 >in ! 1 line# +! rl-pos @ line-pos ! true else 2drop false then ;

: refill     ( -- flag )
  0 0 last-word 2!
  src-id @ 0= if query true exit then
  src-id @ -1 = if false exit then
  refill-file ;
