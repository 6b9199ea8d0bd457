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
\ A line of more than /line characters is an error, never split: ACCEPT
\ may take one more to show it.
: line-fits  ( u -- u )  dup /line u> if -259 throw then ;
: query      ( -- )
  1 line# +!  tib dup /line 1+ accept line-fits  2dup + lines-end !  src 2!  0 >in ! ;

\ Files. A fileid is the address of a file record: the host's handle (0
\ while the record is free), the access the file was opened with, and its
\ name, NUL-terminated as the host takes it, so that errors can name the
\ file and RESIZE-FILE can open it again.
0         CONSTANT r/o
$C0000000 CONSTANT r/w
$40000000 CONSTANT w/o
: >x         ( addr -- xaddr )   \ only addresses of variable memory
  dup data-origin - vx data-origin - u< 0= if -9 throw then  (>x) throw ;
: p>x        ( paddr -- xaddr )  (p>x) throw ;
: >zname     ( c-addr u -- zaddr )  255 min >r zname r@ move  0 zname r> + c!  zname ;
: file-throw ( c-addr u ior -- )   \ throws ior, naming the file
  ?dup if record-error >r err-word 2! r> rethrow then 2drop ;

: >record    ( fileid -- rec | 0 )   \ the record of an open file
  dup records - dup /record 1- and swap #records /record * u< 0= or
  if drop 0 exit then  dup @ 0= if drop 0 then ;
: handle     ( fileid -- x )  >record dup if @ then ;   \ 0, which the host refuses
: record-name ( rec -- zaddr )  2 cells + ;
: zcount     ( zaddr -- c-addr u )  dup begin dup c@ while 1+ repeat over - ;
: file-name  ( fileid -- c-addr u )  >record dup if record-name zcount else 0 then ;
: note-ior   ( ior c-addr u -- ior )   \ a failed file operation, for THROW's message
  rot dup if dup file-ior ! -rot file-ior-name 2! else nip nip then ;
: fileid-ior ( ior fileid -- ior )  file-name note-ior ;
: close-records ( -- )  records #records 0 do 0 over ! /record + loop drop ;
: free-record ( -- rec | 0 )
  records #records 0 do dup @ 0= if unloop exit then /record + loop drop 0 ;
: new-record ( c-addr u fam -- rec 0 | c-addr u ior )   \ named, not yet open
  over /record 2 cells - u< 0= if drop 206 exit then
  free-record ?dup 0= if drop 4 exit then
  tuck cell+ !  >r  r@ record-name swap 2dup + >r move 0 r> c!  r> 0 ;
: (open)     ( c-addr u fam xt -- fileid ior )   \ xt: ( zaddr fam -- handle 0 | ior )
  >r new-record ?dup if -rot note-ior 0 swap rdrop exit then
  r> over >r  swap dup record-name swap cell+ @ rot execute
  ?dup if r> record-name zcount note-ior 0 swap exit then
  r@ ! r> 0 ;
: host-open  ( zaddr fam -- handle 0 | ior )  0 swap (fopen) ;
: host-create ( zaddr fam -- handle 0 | ior )  drop 0 (fcreate) ;

: open-file  ( c-addr u fam -- fileid ior )  ['] host-open (open) ;
: create-file ( c-addr u fam -- fileid ior )  drop r/w ['] host-create (open) ;
: close-file ( fileid -- ior )
  dup handle (fclose) over fileid-ior  swap >record ?dup if 0 swap ! then ;
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

\ The file being included reads its lines into its own slot. A first line
\ that begins with #! is a comment, so that scripts can name their program.
: skip-shebang ( -- )
  line# @ 1 = if source 2 min s" #!" str= if source nip >in ! then then ;
: file-slot  ( n -- addr )  /file-slot * file-slots + ;
: name-slot  ( n -- c-addr )  file-slot cell+ ;
: line-room  ( c-addr -- u )   \ the longest line that fits there
  tib /lines + swap - 2 - /line min ;
: refill-file ( -- flag )
  file-depth @ 1- file-slot @  dup dup line-room src-id @ (read-line)
  ?dup if src-name 2@ rot file-throw then
  ?dup 0= if 2drop false exit then
  1 line# +!  2 = if -259 throw then
  2dup + lines-end !  src 2!  0 >in !  rl-pos @ line-pos !  skip-shebang true ;

: refill     ( -- flag )
  0 0 last-word 2!  0 file-ior !
  src-id @ 0= if query true exit then
  src-id @ -1 = if false exit then
  refill-file ;
