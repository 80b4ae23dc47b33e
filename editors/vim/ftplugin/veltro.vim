" Veltro: comments, indentation of braces.
if exists("b:did_ftplugin")
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring=#\ %s
setlocal comments=:#,s1:/*,mb:*,ex:*/
setlocal formatoptions-=t formatoptions+=croql
setlocal cindent cinoptions=#1
setlocal cinkeys-=0#
setlocal suffixesadd=.vt

let b:undo_ftplugin = "setlocal commentstring< comments< formatoptions< cindent< cinoptions< cinkeys< suffixesadd<"
