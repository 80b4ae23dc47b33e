// Prints the tokens of a file as VS Code's tokenizer sees them with the Veltro
// grammar: one JSON array per line of the file, each token [text, scopes...].
//
//   node tokenize.js GRAMMAR.json FILE.vt
//
// vscode-textmate and vscode-oniguruma are found through NODE_PATH.
'use strict';
const fs = require('fs');
const path = require('path');
const vsctm = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

async function main() {
  const [grammarPath, samplePath] = process.argv.slice(2);
  const wasm = fs.readFileSync(path.join(path.dirname(require.resolve('vscode-oniguruma')), 'onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new vsctm.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
      createOnigString: (text) => new oniguruma.OnigString(text),
    }),
    loadGrammar: async (scopeName) => {
      if (scopeName !== 'source.veltro') return null;
      return vsctm.parseRawGrammar(fs.readFileSync(grammarPath, 'utf8'), grammarPath);
    },
  });
  const grammar = await registry.loadGrammar('source.veltro');
  if (!grammar) throw new Error('the grammar did not load');
  let state = vsctm.INITIAL;
  const out = [];
  for (const line of fs.readFileSync(samplePath, 'utf8').split('\n')) {
    const result = grammar.tokenizeLine(line, state);
    out.push(result.tokens.map((t) => [line.substring(t.startIndex, t.endIndex), ...t.scopes]));
    state = result.ruleStack;
  }
  process.stdout.write(JSON.stringify(out) + '\n');
}

main().catch((err) => {
  process.stderr.write(String(err && err.stack || err) + '\n');
  process.exit(1);
});
