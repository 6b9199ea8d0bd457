\ Input sources and parsing.

\ A block being interpreted is found in its buffer each time: buffers
\ can be reassigned while it is read.
DEFER block-source ( u -- c-addr u )   \ the text of block u
DEFER next-block   ( -- flag )         \ REFILL while blocks are interpreted
: no-blocks  ( -- )  -35 throw ;   \ till blocks.fs sets them
: source     ( -- c-addr u )  blk @ ?dup if block-source exit then  src 2@ ;
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

\ Files. A fileid is the address of a file record: the host's handle (0
\ while the record is free), the access the file was opened with, and a
\ copy of its name in the heap, so that errors can name the file and
\ RESIZE-FILE can open it again. Names go to the host whole and
\ NUL-terminated: a name the host could only take cut short (one too long
\ for the host's path limit, or with a NUL in it) fails with an ior, and
\ nothing is done to any file.
0         CONSTANT r/o
$C0000000 CONSTANT r/w
$40000000 CONSTANT w/o
: >x         ( addr -- xaddr )   \ only addresses of variable memory
  dup data-origin - mem-top @ data-origin - u< 0= if -9 throw then  (>x) throw ;
: p>x        ( paddr -- xaddr )  (p>x) throw ;
206 CONSTANT name-too-long
123 CONSTANT invalid-name
: name-ior   ( c-addr u -- ior )   \ 0 if the host can take the name as it is
  dup /zname u< 0= if 2drop name-too-long exit then
  0 scan nip if invalid-name exit then  0 ;
: zplace     ( c-addr u zaddr -- )  2dup + >r swap move 0 r> c! ;
: >zname     ( c-addr u -- zaddr ior )   \ in zname, for the host
  2dup name-ior ?dup if nip nip zname swap exit then  zname zplace zname 0 ;
: file-throw ( c-addr u ior -- )   \ throws ior, naming the file
  ?dup if record-error >r ior-name /zname keep-text err-word 2! r> rethrow then 2drop ;

: >record    ( fileid -- rec | 0 )   \ the record of an open file
  dup records - dup /record 1- and swap #records /record * u< 0= or
  if drop 0 exit then  dup @ 0= if drop 0 then ;
: handle     ( fileid -- x )  >record dup if @ then ;   \ 0, which the host refuses
: record-name ( rec -- c-addr u )  2 cells + 2@ ;
: file-name  ( fileid -- c-addr u )  >record dup if record-name else 0 then ;
: note-ior   ( ior c-addr u -- ior )   \ a failed file operation, for THROW's message
  rot dup if dup file-ior ! -rot ior-name /zname keep-text file-ior-name 2! else nip nip then ;
: fileid-ior ( ior fileid -- ior )  file-name note-ior ;
: close-records ( -- )  records #records /record * erase ;
: free-record ( -- rec | 0 )
  records #records 0 do dup @ 0= if unloop exit then /record + loop drop 0 ;
: heap-string ( c-addr u -- c-addr' u | 0 0 )   \ a copy in the heap
  dup system-allocate ?dup 0= if 2drop 0 0 exit then  swap >r tuck r@ move r> ;
: name-failed ( c-addr u ior -- 0 ior )  -rot note-ior 0 swap ;
: (open)     ( c-addr u fam xt -- fileid ior )   \ xt: ( zaddr fam -- handle 0 | ior )
  2over name-ior ?dup if >r 2drop r> name-failed exit then
  free-record ?dup 0= if 2drop 4 name-failed exit then  >r
  2over >zname drop  rot dup r@ cell+ !  rot execute
  ?dup if rdrop name-failed exit then               ( c-addr u handle )
  -rot heap-string over 0= if 2drop (fclose) drop rdrop 0 8 exit then
  r@ 2 cells + 2!  r@ !  r> 0 ;
: host-open  ( zaddr fam -- handle 0 | ior )  0 swap (fopen) ;
: host-create ( zaddr fam -- handle 0 | ior )  drop 0 (fcreate) ;

: open-file  ( c-addr u fam -- fileid ior )  ['] host-open (open) ;
: create-file ( c-addr u fam -- fileid ior )  drop r/w ['] host-create (open) ;
: close-file ( fileid -- ior )
  dup handle (fclose) over fileid-ior  swap >record ?dup if
    dup record-name drop system-free  /record erase
  then ;
: file-position ( fileid -- ud ior )
  dup handle (fpos@) ?dup if swap fileid-ior 0 0 rot exit then  rot drop 0 ;
: reposition-file ( ud fileid -- ior )  >r 0 r@ handle (fpos!) r> fileid-ior ;
: read-file  ( c-addr u1 fileid -- u2 ior )
  >r >r >x r> r@ handle (fread) ?dup if r> fileid-ior 0 swap exit then rdrop 0 ;
: write-file ( c-addr u fileid -- ior )  >r >r >x r> r@ handle (fwrite) r> fileid-ior ;

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

\ The file being included reads its lines into the line buffer of its
\ slot, a block of the heap that holds its name too (see INCLUDE-FILE).
: refill-file ( -- flag )
  src-buf @ /line src-id @ read-line ?dup if src-name 2@ rot file-throw then
  if src-buf @ swap src 2! 0 >in ! 1 line# +! rl-pos @ line-pos ! true else drop false then ;

: refill     ( -- flag )
  0 0 last-word 2!  0 file-ior !
  blk @ if next-block exit then
  src-id @ 0= if query true exit then
  src-id @ -1 = if false exit then
  refill-file ;
