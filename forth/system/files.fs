\ FILE-ACCESS beyond the kernel's words. A failing word answers the host's
\ error number as its ior and notes the file, so that THROW names it.

: bin        ( fam1 -- fam2 ) ;   \ files are always binary

1024 constant /file-buffer
create file-buffer  /file-buffer allot
create newline  #lf c,   \ WRITE-LINE ends lines as the host's text files do

: delete-file ( c-addr u -- ior )
  2dup >zname ?dup if nip else 0 (fdelete) then  -rot note-ior ;
: file-size  ( fileid -- ud ior )
  dup handle (fsize@) ?dup if swap fileid-ior 0 0 rot exit then  rot drop 0 ;
: write-line ( c-addr u fileid -- ior )
  dup >r write-file ?dup if rdrop exit then  newline 1 r> write-file ;
: flush-file ( fileid -- ior )   \ writes reach the host at once: only the id is checked
  dup handle (fpar@) ?dup if swap fileid-ior exit then  2drop drop 0 ;
: file-status ( c-addr u -- x ior )   \ x is 0; the ior says whether it can be read
  2dup r/o open-file ?dup if nip nip nip 0 swap exit then  close-file drop 2drop 0 0 ;

\ RENAME-FILE: the host copies the file to its new name, then the old name
\ is deleted (the new name must not exist yet).
create zname2  /zname allot
: >zname2    ( c-addr u -- zaddr )  zname2 zplace zname2 ;   \ a name NAME-IOR took
: rename-file ( c-addr1 u1 c-addr2 u2 -- ior )
  2dup name-ior ?dup if -rot note-ior nip nip exit then
  2over name-ior ?dup if nip nip -rot note-ior exit then
  2over 2over >zname2 >r >zname drop r> -1 (fcopy) ?dup if -rot note-ior nip nip exit then
  2drop 2dup >zname drop 0 (fdelete) ?dup if zname2 0 (fdelete) drop -rot note-ior exit then
  2drop 0 ;

\ Moving bytes between two open files, a buffer at a time.
variable from-file
variable to-file
: copy-bytes ( u -- ior )   \ u bytes from from-file to to-file
  begin dup while
    dup /file-buffer min file-buffer swap from-file @ read-file ?dup if nip nip exit then
    dup 0= if 2drop 38 exit then
    file-buffer over to-file @ write-file ?dup if nip nip exit then
    -
  repeat ;
: write-zeros ( u -- ior )   \ to to-file
  file-buffer /file-buffer erase
  begin dup while
    dup /file-buffer min file-buffer over to-file @ write-file ?dup if nip nip exit then -
  repeat ;

\ RESIZE-FILE. Growing writes zeros at the end. The host cannot cut a file
\ that is open, so shrinking keeps a copy, creates the file anew under its
\ name, copies the part that stays back into it, and gives the new handle
\ to the same fileid. The file position stays, within the new size.
variable resized      \ the fileid being resized
variable new-size
variable old-position
: resized-record ( -- rec )  resized @ >record ;
: resized-name ( -- zaddr )  resized-record record-name >zname drop ;
: resized-access ( -- fam )  resized-record cell+ @ ;
: temp-name  ( -- c-addr u )   \ the file's name with .resizing added, in zname2
  resized-record record-name >r zname2 r@ move
  s" .resizing" zname2 r@ + swap move
  0 zname2 r@ 9 + + c!  zname2 r> 9 + ;
: restore-position ( -- ior )
  old-position @ new-size @ umin 0 resized @ reposition-file ;
: grow-file  ( -- ior )
  0 0 2 resized @ handle (fpos!) ?dup if exit then
  resized @ to-file !  new-size @ resized @ file-size drop drop - write-zeros ?dup if exit then
  restore-position ;
: reopen     ( fam -- ior )   \ the file by its name again, under the same fileid
  resized-name swap host-open ?dup if exit then  resized-record ! 0 ;
: copy-back  ( fileid -- ior )   \ the part that stays, from the copy into the new file
  from-file !  resized @ to-file !  new-size @ copy-bytes ;
: shrink-file ( -- ior )
  resized-access r/o = if 5 exit then
  resized-record record-name nip 9 + /zname u< 0= if name-too-long exit then
  temp-name  resized @ handle (fclose) drop
  resized-name zname2 -1 (fcopy) ?dup if >r 2drop resized-access reopen drop r> exit then
  resized-name 0 (fcreate) ?dup if >r resized-access reopen drop delete-file drop r> exit then
  resized-record !
  2dup r/o open-file ?dup if nip nip nip exit then
  dup copy-back swap close-file drop >r  delete-file drop  r> ?dup if exit then
  resized-access r/w <> if
    resized @ handle (fclose) drop  resized-access reopen ?dup if exit then
  then restore-position ;
: resize-file ( ud fileid -- ior )
  dup >record 0= if nip nip 6 swap fileid-ior exit then
  resized !  if drop 223 resized @ fileid-ior exit then  new-size !
  resized @ file-position drop drop old-position !
  resized @ file-size ?dup if nip nip exit then drop
  new-size @ over = if drop 0 exit then
  new-size @ u< if grow-file else shrink-file then  resized @ fileid-ior ;
