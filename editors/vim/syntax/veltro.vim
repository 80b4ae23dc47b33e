" Vim syntax file
" Language: Veltro (.vt)

if exists("b:current_syntax")
  finish
endif

let s:cpo_save = &cpo
set cpo&vim

syn case match

" Operators come first: at the same position a later item wins, so "/*" is a
" comment and not a division.
syn match veltroOperator "\*\*\|[-+*/%]=\?\|[=!<>]=\|[<>!]\|=>\|=\|\.\."

" Comments. Block comments do not nest; one never closed runs to the end.
syn keyword veltroTodo contained TODO FIXME XXX NOTE
syn match veltroComment "#.*$" contains=veltroTodo,@Spell
syn region veltroBlockComment start="/\*" end="\*/" contains=veltroTodo,@Spell

" Strings: \n \t \r \" \\ are escapes; a backslash before anything else stays.
syn match veltroEscape contained "\\[\\nrt\"]"
syn region veltroString start=+"+ skip=+\\.+ end=+"+ contains=veltroEscape,@Spell

" Numbers have no sign, exponent or hexadecimal form.
syn match veltroNumber "\<\d\+\>"
syn match veltroFloat "\<\d\+\.\d\+\>"

syn keyword veltroConditional if else match
syn keyword veltroRepeat while for in
syn keyword veltroStatement return break continue
syn keyword veltroException try catch
syn keyword veltroInclude use as
syn keyword veltroStorage let global
syn keyword veltroDefine def nextgroup=veltroFunctionName skipwhite
syn match veltroFunctionName contained "\<[A-Za-z_]\w*\>"
syn keyword veltroOperatorWord and or not
syn keyword veltroBoolean true false

" The builtins, only where they are called.
syn match veltroBuiltin "\%([A-Za-z0-9_.]\)\@<!\<\%(print\|input\|len\|upper\|lower\|slice\|contains\|split\|concat\|push\|pop\|reverse\|abs\|sqrt\|pow\|min\|max\|floor\|ceil\|round\|random\|random_range\|typeof\|is_number\|is_string\|is_array\|is_dict\|window\|window_width\|window_height\|clear\|present\|is_open\|rect\|circle\|triangle\|color\|fill\|draw\)\>\ze\s*("

" The built-in modules and their functions.
syn keyword veltroModule files http sdl2 text data sys nextgroup=veltroMemberDot
syn match veltroMemberDot contained "\." nextgroup=veltroModuleFunction
syn match veltroModuleFunction contained "\<\%(read\|write\|append\|delete\|exists\|create_folder\|delete_folder\|list\|is_file\|is_folder\|page\|serve\|template\|json\|status\|send\|get\|post\|init\|create_window\|destroy_window\|set_window_title\|set_window_mode\|get_window_mode\|clear_screen\|render_present\|set_draw_color\|set_max_fps\|delta_time\|draw_point\|draw_line\|draw_rect\|fill_rect\|draw_circle\|fill_circle\|draw_triangle\|fill_triangle\|get_window_width\|get_window_height\|is_window_open\|get_input_pressed\|get_input_released\|get_input_held\|to_number\|join\|split_lines\|trim\|replace\|repeat\|find\|starts_with\|ends_with\|compare\|chars\|code\|char\|fixed\|keys\|values\|has\|set\|remove\|set_at\|insert_at\|remove_at\|index_of\|slice\|sort\|sum\|args\|env\|clock\|time\|sleep\|exit\)\>"

hi def link veltroTodo Todo
hi def link veltroComment Comment
hi def link veltroBlockComment Comment
hi def link veltroEscape SpecialChar
hi def link veltroString String
hi def link veltroNumber Number
hi def link veltroFloat Float
hi def link veltroConditional Conditional
hi def link veltroRepeat Repeat
hi def link veltroStatement Statement
hi def link veltroException Exception
hi def link veltroInclude Include
hi def link veltroStorage StorageClass
hi def link veltroDefine Define
hi def link veltroFunctionName Function
hi def link veltroOperatorWord Operator
hi def link veltroOperator Operator
hi def link veltroBoolean Boolean
hi def link veltroBuiltin Function
hi def link veltroModule Type
hi def link veltroModuleFunction Function

let b:current_syntax = "veltro"

let &cpo = s:cpo_save
unlet s:cpo_save
