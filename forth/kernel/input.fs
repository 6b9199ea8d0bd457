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
\ A line of more than /line characters is an error, never split: ACCEPT
\ may take one more to show it.
: line-fits  ( u -- u )  dup /line u> if -259 throw then ;
\ The terminal's line is read into a block of the heap, made when it is
\ first needed.
: terminal-buffer ( -- c-addr )
  terminal-line @ ?dup if exit then
  /line 2 + system-allocate dup 0= if -59 throw then  dup terminal-line ! ;
: query      ( -- )
  1 line# +!  terminal-buffer dup /line 1+ accept line-fits  src 2!  0 >in ! ;

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

\ Lines are read a block at a time into a buffer with room for u1 + 2
\ bytes (enough to see the CR LF after u1 characters) until their end;
\ the file then goes on just after the line. (READ-LINE) answers with a
\ status: 0 the end of the file, 1 a line, 2 the first u1 characters of a
\ longer line.
1024 CONSTANT /read-block
: strip-cr   ( c-addr u -- u' )  dup if 2dup + 1- c@ #cr = if 1- then then nip ;
: read-more  ( -- u ior )   \ the next block after the bytes read so far
  rl-buf @ rl-got @ +  rl-max @ 2 + rl-got @ - /read-block min  rl-fid @ read-file ;
: lf-offset  ( u -- n | -1 )   \ the first LF in the u bytes just read, from the line's start
  rl-buf @ rl-got @ + swap #lf scan if rl-buf @ - else drop -1 then ;
: go-on-after ( u -- ior )   \ the file resumes u bytes into what was read
  dup rl-got @ = if drop 0 exit then  rl-pos @ + 0 rl-fid @ reposition-file ;
: cut-line   ( -- u 2 ior )  rl-max @ 2  rl-max @ go-on-after ;
: found-line ( n -- u status ior )   \ the line ends with the LF at n
  rl-buf @ over strip-cr dup rl-max @ u> if 2drop cut-line exit then  1 rot 1+ go-on-after ;
: last-line  ( -- u status ior )   \ the end of the file ends it
  rl-got @ dup 0= if 0 0 exit then  dup rl-max @ u> if drop cut-line exit then  1 0 ;
: (read-line) ( c-addr u1 fileid -- u2 status ior )
  rl-fid ! rl-max ! rl-buf !  0 rl-got !
  rl-fid @ file-position ?dup if nip nip 0 0 rot exit then drop rl-pos !
  begin
    read-more ?dup if nip 0 0 rot exit then
    ?dup 0= if last-line exit then
    dup lf-offset swap rl-got +!
    dup 0< 0= if found-line exit then drop
    rl-got @ rl-max @ 2 + u< 0=
  until cut-line ;
: read-line  ( c-addr u1 fileid -- u2 flag ior )  (read-line) >r 0<> r> ;

\ The file being included has a slot in the heap: the room of its line
\ buffer, the buffer (room + 2 bytes), then a copy of its name. The buffer
\ starts small; a longer line, up to /line characters, makes a slot with a
\ buffer that large and is read again into it.
256 CONSTANT /first-line
: slot-name  ( slot -- c-addr )  dup @ + 2 + cell+ ;
: slot-for   ( c-addr u room -- slot | 0 )
  over over + 2 + cell+ system-allocate ?dup 0= if 2drop drop 0 exit then
  tuck !  >r r@ slot-name swap move r> ;
: use-slot   ( slot u -- )   \ for the file being read, its name u long
  over src-slot !  over cell+ src-buf !  swap slot-name swap src-name 2! ;
: grow-slot  ( -- )
  src-name 2@ /line slot-for ?dup 0= if -59 throw then
  src-slot @ system-free  src-name @ use-slot ;
: source-throw ( ior -- )  ?dup if src-name 2@ rot file-throw then ;
: read-source-line ( -- u status )
  src-buf @ src-slot @ @ src-id @ (read-line) source-throw ;
: read-longer ( u status -- u' status' )   \ a line longer than the buffer, again
  dup 2 = src-slot @ @ /line u< and 0= if exit then  2drop
  rl-pos @ 0 src-id @ reposition-file source-throw  grow-slot read-source-line ;
\ A first line that begins with #! is a comment, so that a script can name
\ the program that runs it.
: skip-shebang ( -- )
  line# @ 1 = if source 2 min s" #!" str= if source nip >in ! then then ;
: refill-file ( -- flag )
  read-source-line read-longer  ?dup 0= if drop false exit then
  1 line# +!  2 = if -259 throw then
  src-buf @ swap src 2!  0 >in !  rl-pos @ line-pos !  skip-shebang true ;

: refill     ( -- flag )
  0 0 last-word 2!  0 file-ior !
  blk @ if next-block exit then
  src-id @ 0= if query true exit then
  src-id @ -1 = if false exit then
  refill-file ;
