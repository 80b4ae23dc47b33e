" Veltro scripts end in .vt.
autocmd BufRead,BufNewFile *.vt set filetype=veltro
