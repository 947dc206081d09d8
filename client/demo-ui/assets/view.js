import { byId } from './dom.js';

export function fillTexts(texts, origin) {
  byId('title').textContent = texts.title;
  byId('lead').textContent = texts.lead;
  byId('how').textContent = texts.how;
  byId('go').textContent = texts.button;
  byId('answer').textContent = texts.waiting;
  byId('footer').textContent = texts.footer.replace('{origin}', origin);
}

export function pressButton() {
  byId('go').classList.add('pressed');
}
