// The app's entry module: texts from a JSON file fetched at start, the page bridge and
// the view from modules of their own, the answer's view loaded on demand.
import { whenBridgeReady } from './bridge.js';
import { fillTexts, pressButton } from './view.js';

const texts = await (await fetch('/data/texts.json')).json();
fillTexts(texts, location.origin);

const mp = await whenBridgeReady();
let clicks = 0;
document.getElementById('go').addEventListener('click', () => {
  clicks++;
  pressButton();
  mp.trigger('ui:clicked', { button: 'go', clicks });
});
mp.events.add('ui:answer', async (text) => {
  const { showAnswer } = await import('./answer.js');
  showAnswer(text);
});
mp.trigger('ui:ready', document.title);
